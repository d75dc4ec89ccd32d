#include "FileBrowserDialog.h"

#include "Volumes.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyle>
#include <QToolButton>
#include <QUrl>

namespace lh {

namespace {

constexpr int pathRole = Qt::UserRole;

QString buttonOf(FileBrowserDialog::Mode mode)
{
    switch (mode) {
    case FileBrowserDialog::Mode::openFiles:
        return QStringLiteral("&Open");
    case FileBrowserDialog::Mode::chooseFolder:
        return QStringLiteral("&Choose");
    case FileBrowserDialog::Mode::save:
        return QStringLiteral("&Save");
    }
    return {};
}

// The last part of a path, worked out from the text alone.
QString lastPart(const QString& path)
{
    const QString part = path.section(QLatin1Char('/'), -1);
    return part.isEmpty() ? path : part;
}

QString parentOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

QListWidget* makeList(const QString& name, QWidget* parent)
{
    auto* list = new QListWidget(parent);
    list->setObjectName(name);
    list->setAccessibleName(name);
    list->setIconSize(QSize(16, 16));
    list->setUniformItemSizes(true); // a folder of thousands is laid out at once
    return list;
}

} // namespace

FileBrowserDialog::FileBrowserDialog(
    FileDialogs::Request request, std::vector<Place> places, std::unique_ptr<GuardedListing> listing, QWidget* parent)
    : QDialog(parent)
    , setup_(std::move(request))
    , places_(std::move(places))
    , listing_(std::move(listing))
{
    setWindowTitle(FileDialogs::titleOf(setup_.mode));
    build();
    refilter();
    showFolder(setup_.folder);
}

FileBrowserDialog::~FileBrowserDialog() = default;

std::vector<FileBrowserDialog::Place> FileBrowserDialog::defaultPlaces()
{
    std::vector<Place> places { { QStringLiteral("Home"), QDir::homePath() } };
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    if (!music.isEmpty() && music != QDir::homePath())
        places.push_back({ QStringLiteral("Music"), music });
    for (const Volumes::Mount& mount : Volumes::mounted()) {
        if (!mount.isLocal) {
            const QString path = QFile::decodeName(QByteArray::fromStdString(mount.path));
            places.push_back({ lastPart(path), path, true });
        }
    }
    return places;
}

int FileBrowserDialog::chosenFilter() const
{
    return filter_->currentIndex();
}

void FileBrowserDialog::build()
{
    auto* layout = new QGridLayout(this);
    auto* locationLabel = new QLabel(setup_.mode == Mode::save ? QStringLiteral("Save &as:") : QStringLiteral("&Location:"), this);
    location_ = new QLineEdit(this);
    location_->setObjectName(QStringLiteral("location"));
    locationLabel->setBuddy(location_);
    // Only the user's own typing counts as typed: a location the dialog wrote names what the
    // lists show, and is taken from them without a look.
    connect(location_, &QLineEdit::textEdited, this, [this] { isLocationTyped_ = true; });
    auto* up = new QToolButton(this);
    up->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
    up->setAccessibleName(QStringLiteral("Enclosing Folder"));
    up->setToolTip(QStringLiteral("Enclosing Folder (Alt+Up)"));
    up->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Up));
    connect(up, &QToolButton::clicked, this, [this] { showFolder(parentOf(shownFolder_)); });
    layout->addWidget(locationLabel, 0, 0);
    layout->addWidget(location_, 0, 1);
    layout->addWidget(up, 0, 2);
    layout->addWidget(buildLists(), 1, 0, 1, 3);
    layout->setColumnStretch(1, 1);

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("status"));
    status_->setWordWrap(true);
    layout->addWidget(status_, 2, 0, 1, 3);

    filter_ = new QComboBox(this);
    filter_->setObjectName(QStringLiteral("filter"));
    filter_->setAccessibleName(QStringLiteral("Show"));
    filter_->addItems(setup_.filters);
    // The audio filter names every extension twice over: it must not set the dialog's width.
    filter_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    filter_->setMinimumContentsLength(24);
    filter_->setVisible(!setup_.filters.isEmpty());
    connect(filter_, &QComboBox::currentIndexChanged, this, [this] { refilter(); });
    auto* buttons = new QDialogButtonBox(this);
    open_ = buttons->addButton(buttonOf(setup_.mode), QDialogButtonBox::AcceptRole);
    open_->setObjectName(QStringLiteral("open"));
    // The buttons do not take Enter for themselves: the dialog decides what Enter means where.
    open_->setAutoDefault(false);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setAutoDefault(false);
    connect(open_, &QPushButton::clicked, this, [this] { go(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(filter_, 3, 0, 1, 2);
    layout->addWidget(buttons, 3, 2);
    resize(720, 460);
}

QWidget* FileBrowserDialog::buildLists()
{
    auto* lists = new QWidget(this);
    auto* layout = new QGridLayout(lists);
    layout->setContentsMargins(0, 0, 0, 0);
    placeList_ = makeList(QStringLiteral("Places"), lists);
    for (const Place& place : places_) {
        const QIcon icon = style()->standardIcon(place.isNetwork ? QStyle::SP_DriveNetIcon : QStyle::SP_DirHomeIcon);
        auto* item = new QListWidgetItem(icon, place.name, placeList_);
        item->setData(pathRole, place.path);
        item->setToolTip(place.path);
    }
    connect(placeList_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) { showFolder(item->data(pathRole).toString()); });
    connect(placeList_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { showFolder(item->data(pathRole).toString()); });

    folders_ = makeList(QStringLiteral("Folders"), lists);
    connect(folders_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) { showFolder(inShown(item->text())); });
    connect(folders_, &QListWidget::itemSelectionChanged, this, [this] { selectionChanged(); });
    files_ = makeList(QStringLiteral("Files"), lists);
    files_->setSelectionMode(setup_.mode == Mode::openFiles ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
    files_->setEnabled(setup_.mode != Mode::chooseFolder); // shown, so the user sees what the folder holds
    connect(files_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) { fileActivated(item->text()); });
    connect(files_, &QListWidget::itemSelectionChanged, this, [this] { selectionChanged(); });

    const std::pair<QString, QListWidget*> columns[] = {
        { QStringLiteral("&Places"), placeList_ }, { QStringLiteral("F&olders"), folders_ }, { QStringLiteral("&Files"), files_ }
    };
    int column = 0;
    for (const auto& [title, list] : columns) {
        auto* label = new QLabel(title, lists);
        label->setBuddy(list);
        layout->addWidget(label, 0, column);
        layout->addWidget(list, 1, column);
        ++column;
    }
    layout->setColumnStretch(0, 2);
    layout->setColumnStretch(1, 3);
    layout->setColumnStretch(2, 4);
    return lists;
}

void FileBrowserDialog::keyPressEvent(QKeyEvent* event)
{
    const bool isEnter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!isEnter) {
        QDialog::keyPressEvent(event);
        return;
    }
    // A list has already taken Enter as going into its row.
    QWidget* focus = focusWidget();
    if (focus != placeList_ && focus != folders_ && focus != files_)
        go();
}

void FileBrowserDialog::showFolder(const QString& folder)
{
    shownFolder_ = QDir::cleanPath(folder);
    shown_ = {};
    folders_->clear();
    files_->clear();
    setLocation(setup_.mode == Mode::save ? inShown(lastPart(location_->text().isEmpty() ? setup_.name : location_->text()))
                                          : shownFolder_);
    say(QStringLiteral("Reading “%1”…").arg(shownFolder_));
    listing_->look(shownFolder_, [this, folder = shownFolder_](std::optional<PathContent> content) {
        if (!content)
            say(QStringLiteral("“%1” is not answering; its share may be away. Try again once it is back.").arg(folder));
        else if (content->kind != PathContent::Kind::folder)
            say(QStringLiteral("“%1” is not a folder that can be shown.").arg(folder));
        else
            display(folder, *content);
    });
}

void FileBrowserDialog::display(const QString& folder, const PathContent& content)
{
    shownFolder_ = folder;
    shown_ = content;
    say(content.isReadable ? QString() : QStringLiteral("“%1” cannot be read.").arg(folder));
    folders_->clear();
    const QIcon folderIcon = style()->standardIcon(QStyle::SP_DirIcon);
    for (const PathContent::Entry& entry : content.entries) {
        if (entry.isFolder)
            new QListWidgetItem(folderIcon, entry.name, folders_);
    }
    refilter();
}

void FileBrowserDialog::refilter()
{
    patterns_.clear();
    const QString filter = filter_->currentText();
    if (!filter.isEmpty()) {
        for (const QString& pattern : FileDialogs::parseFilter(filter).patterns)
            patterns_.emplace_back(QRegularExpression::wildcardToRegularExpression(pattern), QRegularExpression::CaseInsensitiveOption);
    }
    files_->clear();
    const QIcon fileIcon = style()->standardIcon(QStyle::SP_FileIcon);
    for (const PathContent::Entry& entry : shown_.entries) {
        if (!entry.isFolder && matchesFilter(entry.name))
            new QListWidgetItem(fileIcon, entry.name, files_);
    }
}

bool FileBrowserDialog::matchesFilter(const QString& name) const
{
    return patterns_.empty()
        || std::ranges::any_of(patterns_, [&](const QRegularExpression& pattern) { return pattern.match(name).hasMatch(); });
}

// What the lists select becomes the location, written by the dialog and so taken as it is.
void FileBrowserDialog::selectionChanged()
{
    if (setup_.mode == Mode::chooseFolder) {
        const QList<QListWidgetItem*> folders = folders_->selectedItems();
        setLocation(folders.isEmpty() ? shownFolder_ : inShown(folders.front()->text()));
        return;
    }
    const QList<QListWidgetItem*> files = files_->selectedItems();
    if (files.isEmpty())
        return;
    if (files.size() == 1) {
        setLocation(inShown(files.front()->text()));
        return;
    }
    QStringList names;
    for (const QListWidgetItem* item : files)
        names << QLatin1Char('"') + item->text() + QLatin1Char('"');
    setLocation(names.join(QLatin1Char(' ')));
}

void FileBrowserDialog::fileActivated(const QString& name)
{
    if (setup_.mode == Mode::openFiles)
        choose({ inShown(name) });
    else if (setup_.mode == Mode::save)
        confirmReplace(inShown(name));
}

// Open, Save, Choose or Enter. What the lists showed is taken at once; anything typed is
// looked at first, off the main thread.
void FileBrowserDialog::go()
{
    if (!isLocationTyped_ && setup_.mode == Mode::openFiles && !files_->selectedItems().isEmpty()) {
        QStringList paths;
        for (const QListWidgetItem* item : files_->selectedItems())
            paths << inShown(item->text());
        choose(paths);
        return;
    }
    if (!isLocationTyped_ && setup_.mode == Mode::chooseFolder && shown_.kind == PathContent::Kind::folder) {
        choose({ location_->text() });
        return;
    }
    const QString typed = location_->text().trimmed();
    if (typed.isEmpty())
        return;
    resolve(absolute(typed));
}

void FileBrowserDialog::resolve(const QString& path)
{
    say(QStringLiteral("Looking for “%1”…").arg(path));
    listing_->look(path, [this, path](std::optional<PathContent> content) {
        if (!content)
            say(QStringLiteral("“%1” is not answering; its share may be away. Try again once it is back.").arg(path));
        else
            resolved(path, *content);
    });
}

void FileBrowserDialog::resolved(const QString& path, const PathContent& content)
{
    isLocationTyped_ = false;
    switch (content.kind) {
    case PathContent::Kind::folder:
        display(path, content);
        setLocation(setup_.mode == Mode::save ? inShown(lastPart(setup_.name)) : path);
        return;
    case PathContent::Kind::file:
        if (setup_.mode == Mode::openFiles)
            choose({ path });
        else if (setup_.mode == Mode::save)
            confirmReplace(path);
        else
            say(QStringLiteral("“%1” is a file, not a folder.").arg(path));
        return;
    case PathContent::Kind::missing:
        if (setup_.mode == Mode::save)
            choose({ path });
        else
            say(QStringLiteral("There is no “%1”.").arg(path));
        return;
    }
}

void FileBrowserDialog::confirmReplace(const QString& path)
{
    auto* question = new QMessageBox(QMessageBox::Warning, windowTitle(),
        QStringLiteral("“%1” already exists. Replace it?").arg(lastPart(path)), QMessageBox::Yes | QMessageBox::No, this);
    question->setAttribute(Qt::WA_DeleteOnClose);
    question->setDefaultButton(QMessageBox::No);
    connect(question, &QMessageBox::finished, this, [this, path](int answer) {
        if (answer == QMessageBox::Yes)
            choose({ path });
    });
    question->open();
}

void FileBrowserDialog::choose(QStringList paths)
{
    chosen_ = std::move(paths);
    accept();
}

void FileBrowserDialog::setLocation(const QString& text)
{
    location_->setText(text);
    isLocationTyped_ = false;
}

void FileBrowserDialog::say(const QString& text)
{
    status_->setText(text);
}

// Worked out from the text alone: "~" is home, a file URL its path, anything relative lies in
// the folder shown.
QString FileBrowserDialog::absolute(const QString& typed) const
{
    QString path = typed;
    if (path.startsWith(QStringLiteral("file:")))
        path = QUrl(path).toLocalFile();
    else if (path == QLatin1String("~") || path.startsWith(QStringLiteral("~/")))
        path = QDir::homePath() + path.mid(1);
    if (!path.startsWith(QLatin1Char('/')))
        path = inShown(path);
    return QDir::cleanPath(path);
}

QString FileBrowserDialog::inShown(const QString& name) const
{
    return shownFolder_ == QLatin1String("/") ? QLatin1Char('/') + name : shownFolder_ + QLatin1Char('/') + name;
}

} // namespace lh
