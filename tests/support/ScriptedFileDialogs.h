#pragma once

#include "FileDialogs.h"

#include <utility>

namespace lh {

// File dialogs the test answers: each call keeps its callback, and the test answers it later,
// as the user of a real dialog would, after the call returned.
struct ScriptedFileDialogs final : FileDialogs {
    FilesChosen files;
    FolderChosen folder;
    ExportChosen exported;
    int asked = 0;

    void openFiles(FilesChosen chosen) override { ++asked, files = std::move(chosen); }
    void chooseFolder(FolderChosen chosen) override { ++asked, folder = std::move(chosen); }
    void chooseExport(ExportChosen chosen) override { ++asked, exported = std::move(chosen); }

    // Answers the open call, which must be there.
    void answerFiles(std::vector<FileURL> chosen) { std::exchange(files, nullptr)(std::move(chosen)); }
    void answerFolder(std::optional<FileURL> chosen) { std::exchange(folder, nullptr)(std::move(chosen)); }
    void answerExport(std::optional<ExportChoice> chosen) { std::exchange(exported, nullptr)(std::move(chosen)); }
};

} // namespace lh
