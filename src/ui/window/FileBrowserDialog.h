#pragma once

#include "FileDialogs.h"
#include "GuardedListing.h"

#include <QDialog>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace lh {

// The file dialog of our own, for desktops without a file chooser portal: places, a folder
// list, a file list with the filter, a location field, Open and Cancel.
//
// It never touches a path from the main thread (no completer, no icons from files, no
// existence checks): what a folder holds, and what a typed location is, is learned through
// `GuardedListing`, only once the user goes there or presses Enter. A share that hangs shows a
// line saying so and leaves every control working. Answers by `finished`; `chosen()` then
// holds the choice. Main thread only.
class FileBrowserDialog : public QDialog {
public:
    using Mode = FileDialogs::Mode;
    struct Place {
        QString name;
        QString path;
        bool isNetwork = false;
    };

    FileBrowserDialog(FileDialogs::Request request, std::vector<Place> places, std::unique_ptr<GuardedListing> listing,
        QWidget* parent = nullptr);
    ~FileBrowserDialog() override;

    // Home, the Music folder, and every mounted network volume (from the mount table alone).
    static std::vector<Place> defaultPlaces();

    // Once accepted: the files (open), the folder, or the name to save under, absolute.
    const QStringList& chosen() const { return chosen_; }
    int chosenFilter() const;

    // Goes to `folder` (absolute) as choosing it among the places does.
    void showFolder(const QString& folder);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void build();
    QWidget* buildLists();
    void go();
    void resolve(const QString& path);
    void resolved(const QString& path, const PathContent& content);
    void display(const QString& folder, const PathContent& content);
    void refilter();
    void selectionChanged();
    void fileActivated(const QString& name);
    void confirmReplace(const QString& path);
    void choose(QStringList paths);
    void setLocation(const QString& text);
    void say(const QString& text);
    QString absolute(const QString& typed) const;
    QString inShown(const QString& name) const;
    bool matchesFilter(const QString& name) const;

    FileDialogs::Request setup_;
    std::vector<Place> places_;
    std::unique_ptr<GuardedListing> listing_;
    QString shownFolder_;
    PathContent shown_;
    std::vector<QRegularExpression> patterns_;
    bool isLocationTyped_ = false;
    QStringList chosen_;

    QLineEdit* location_;
    QListWidget* placeList_;
    QListWidget* folders_;
    QListWidget* files_;
    QComboBox* filter_;
    QLabel* status_;
    QPushButton* open_;
};

} // namespace lh
