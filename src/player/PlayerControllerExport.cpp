// Writing the playlist as a list file other players read.
#include "PlayerController.h"

#include "FileSystem.h"
#include "PlaylistExport.h"

#include <cerrno>
#include <cstring>

namespace lh {

void PlayerController::exportPlaylist(const FileURL& list, PlaylistFile::Format format, ExportCompletion then)
{
    // The rows are shared, not copied: the list is made and written on a thread of its own,
    // under the watchdog, since the folder chosen may be on a share.
    auto write = [tracks = model_.tracks.value(), streamInfo = model_.streamInfo.value(), list, format](
                     const Progress& progress) -> std::optional<QString> {
        const QByteArray bytes = PlaylistFileWriter::write(format, list, PlaylistExport::rows(tracks, *streamInfo));
        progress();
        if (!FileSystem::replaceFile(list.path(), bytes))
            return QString::fromLocal8Bit(std::strerror(errno));
        return std::nullopt;
    };
    auto arrive = [mainThread = mainThread_, weak = Weak(self_), then = std::move(then)](Outcome<std::optional<QString>> outcome) {
        std::optional<QString> error = QStringLiteral("the folder stopped answering");
        if (outcome.hasValue())
            error = outcome.value();
        mainThread->execute([weak, then, error = std::move(error)] {
            if (weak.lock() && then)
                then(error);
        });
    };
    withStallLimit<std::optional<QString>>(stallLimit_, std::move(write), std::move(arrive), environment_.stallRuntime);
}

} // namespace lh
