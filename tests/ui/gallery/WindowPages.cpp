#include "Gallery.h"

#include "PlayerMenu.h"
#include "PlayerModel.h"
#include "Preferences.h"
#include "PlaylistListView.h"
#include "RootView.h"
#include "Theme.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QScrollBar>
#include <QTemporaryDir>

namespace lh::gallery {

namespace {

class Nobody final : public CommandDispatching {
public:
    void perform(const Command&) override { }
};

Track track(const std::string& path, std::optional<QString> title = {}, std::optional<QString> artist = {},
    double start = 0, std::optional<double> end = {})
{
    Track t;
    t.url = FileURL(path);
    t.title = std::move(title);
    t.artist = std::move(artist);
    t.start = start;
    t.end = end;
    return t;
}

// A window over a model of its own; its commands go nowhere.
struct Scene {
    QTemporaryDir dir;
    Preferences defaults { dir.path() + "/preferences.json" };
    PlayerModel model;
    Nobody nobody;
    RootView view { model, nobody, defaults };
};

// The whole window as a user meets it: a playing cue track, a few rows, one of them on a share
// not copied yet.
void fill(PlayerModel& model)
{
    model.tracks.set({
        track("/music/Kind of Blue/Kind of Blue.flac", QStringLiteral("So What"), QStringLiteral("Miles Davis"), 0, 562),
        track("/music/Kind of Blue/Kind of Blue.flac", QStringLiteral("Freddie Freeloader"), QStringLiteral("Miles Davis"),
            562, 1148),
        track("/music/Kind of Blue/Kind of Blue.flac", QStringLiteral("Blue in Green"), QStringLiteral("Miles Davis"),
            1148, 1475),
        track("/mnt/nas/Nick Drake - Pink Moon.mp3"),
        track("/music/坂本龍一 - 戦場のメリークリスマス.m4a"),
    });
    model.fileStates.set({ { FileURL("/mnt/nas/Nick Drake - Pink Moon.mp3"), FileState::waiting } });
    model.streamInfo.set({ { FileURL("/music/Kind of Blue/Kind of Blue.flac"),
        StreamInfo { 1475.0, 912'000, 44'100, 2 } } });
    model.currentIndex.set(1);
    model.isPlaying.set(true);
    model.duration.set(586);
    model.currentTime.set(203.4);
    model.leftLevel.set(0.62);
    model.rightLevel.set(0.71);
    model.volume.set(0.6f);
}

const Page window("window", [](const Camera& camera) {
    Scene scene;
    PlayerModel& model = scene.model;
    RootView& view = scene.view;
    camera.shoot("window-empty", view);
    fill(model);
    camera.shoot("window", view);
    model.isDimmed.set(true);
    model.sleepTimeRemaining.set(1500);
    model.isShuffled.set(true);
    camera.shoot("window-dimmed-shuffled-sleep", view);
});

// Controls ▸ Output Device on a desktop with three sinks: following the default, then one chosen.
const Page outputDevice("menu-output-device", [](const Camera& camera) {
    QTemporaryDir dir;
    Preferences defaults(dir.path() + "/preferences.json");
    PlayerModel model;
    Nobody nobody;
    RootView view(model, nobody, defaults);
    PlayerMenu menus(model, view, view, {});
    QMenu* devices = nullptr;
    for (QAction* menu : menus.menu().actions()) {
        for (QAction* item : menu->menu() ? menu->menu()->actions() : QList<QAction*>()) {
            if (item->text() == QStringLiteral("Output Device"))
                devices = item->menu();
        }
    }
    if (!devices)
        return;
    camera.shoot("menu-output-device-none", *devices);
    model.outputDevices.set({ { "alsa_output.pci-0000_00_1f.3.analog-stereo", "Built-in Audio Analog Stereo" },
        { "bluez_sink.00_1B_66_AA_BB_CC.a2dp_sink", "WH-1000XM4" }, { "alsa_output.usb-DAC", "USB Audio DAC" } });
    devices->adjustSize();
    camera.shoot("menu-output-device", *devices);
    model.outputDevice.set("bluez_sink.00_1B_66_AA_BB_CC.a2dp_sink");
    camera.shoot("menu-output-device-chosen", *devices);
});

// The File and Edit menus, as they open over a filled playlist with a row selected.
const Page menus("menus", [](const Camera& camera) {
    Scene scene;
    PlayerModel& model = scene.model;
    RootView& view = scene.view;
    fill(model);
    view.list().toggleRow(1);
    PlayerMenu menu(model, view, view, PlayerMenu::WindowActions { [] { }, [] { }, [] { }, [] { } });
    for (QAction* item : menu.menu().actions()) {
        QMenu* submenu = item->menu();
        if (!submenu || (submenu->title() != QStringLiteral("File") && submenu->title() != QStringLiteral("Edit")))
            continue;
        submenu->adjustSize();
        camera.shoot(QStringLiteral("menu-") + submenu->title().toLower(), *submenu);
    }
});

// Show Tag Titles off and on over a tagged file playing, a file without tags and cue tracks,
// with the View menu that turns it on.
const Page tagTitles("window-tag-titles", [](const Camera& camera) {
    Scene scene;
    PlayerModel& model = scene.model;
    RootView& view = scene.view;
    fill(model);
    model.tracks.set({
        track("/music/Ana Silva/track01.flac"),
        track("/music/Ana Silva/track02.flac"),
        track("/music/Untagged - Demo.wav"),
        track("/music/Kind of Blue/Kind of Blue.flac", QStringLiteral("So What"), QStringLiteral("Miles Davis"), 0, 562),
    });
    model.currentIndex.set(0);
    camera.shoot("window-tag-titles-off", view);
    TagNames names;
    const auto name = [](const char* title, const char* artist) {
        return std::optional(TagName { QString::fromUtf8(title), QString::fromUtf8(artist) });
    };
    names.known = TagNames::Map { { FileURL("/music/Ana Silva/track01.flac"), name("Sunset Boulevard", "Ana Silva") },
        { FileURL("/music/Ana Silva/track02.flac"), name("Harbour Lights", "Ana Silva") },
        { FileURL("/music/Kind of Blue/Kind of Blue.flac"), name("Kind of Blue", "Miles Davis") } };
    model.showsTagTitles.set(true);
    model.tagNames.set(names);
    camera.shoot("window-tag-titles-on", view);
    PlayerMenu menu(model, view, view, PlayerMenu::WindowActions { [] { }, [] { }, [] { }, [] { } });
    if (auto* viewMenu = qobject_cast<QMenu*>(menu.item(PlayerMenu::Item::showTagTitles)->parent())) {
        viewMenu->adjustSize();
        camera.shoot("menu-view", *viewMenu);
    }
});

// A list long enough to scroll, on a dark desktop: the scroll bar stays light, beside the
// durations rather than over them.
const Page longList("window-long-list", [](const Camera& camera) {
    const QPalette desktop = QApplication::palette();
    QApplication::setPalette(QPalette(QColor(45, 45, 45)));
    Scene scene;
    PlayerModel& model = scene.model;
    RootView& view = scene.view;
    view.setPalette(Theme::lightPalette());
    std::vector<Track> tracks;
    for (int i = 1; i <= 40; ++i)
        tracks.push_back(track("/music/Album/" + std::to_string(i) + " Track.flac", QStringLiteral("Track %1").arg(i),
            QStringLiteral("Artist"), (i - 1) * 3599.0, i * 3599.0));
    model.tracks.set(tracks);
    model.streamInfo.set({ { FileURL("/music/Album/1 Track.flac"), StreamInfo { 3599.0, 912'000, 44'100, 2 } } });
    view.show();
    view.list().verticalScrollBar()->setValue(19 * 5);
    camera.shoot("window-long-list", view);
    QApplication::setPalette(desktop);
});

} // namespace

} // namespace lh::gallery
