// kvshots: takes the pictures of KV32's windows that the documentation shows. Run under a real
// display (scripts/screenshots.sh starts a virtual one) so that the pictures show what a user sees.
#include <QApplication>
#include <QDir>
#include <QScreen>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "gui/run_mode.h"
#include "gui/translation.h"
#include "tools/kvshots/shots.h"

namespace {

constexpr const char* kUsage =
    "Usage: kvshots [--out DIR] [NAME...]   take the named pictures (all without a name)\n"
    "       kvshots --list                  list the pictures\n"
    "       kvshots --window ID FILE        save the window with this X window id (another\n"
    "                                       program's, e.g. from xwininfo) as FILE\n"
    "Pictures are saved as DIR/NAME.png (DIR: docs/screenshots).\n";

int usage_error(const std::string& message) {
    std::fprintf(stderr, "kvshots: %s\n\n%s", message.c_str(), kUsage);
    return 2;
}

bool save(const QImage& image, const QString& file) {
    if (image.isNull() || !image.save(file, "PNG")) {
        std::fprintf(stderr, "kvshots: could not take or save %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    return true;
}

int save_foreign_window(const std::string& id, const std::string& file) {
    bool ok = false;
    const WId window = QString::fromStdString(id).toULongLong(&ok, 0);
    if (!ok || window == 0) return usage_error("not a window id: " + id);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return usage_error("no screen");
    return save(screen->grabWindow(window).toImage(), QString::fromStdString(file)) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    for (const auto& a : args) {
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    QApplication app(argc, argv);
    kv::gui::install_qt_translation(app);
    kv::gui::install_program_translation(app);
    QString out = "docs/screenshots";
    std::vector<const kv::shots::Shot*> chosen;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--list") {
            for (const auto& shot : kv::shots::shots())
                std::printf("%-18s %s\n", shot.name.c_str(), shot.what.c_str());
            return 0;
        } else if (a == "--window") {
            if (args.size() != i + 3) return usage_error("--window takes an id and a file");
            return save_foreign_window(args[i + 1], args[i + 2]);
        } else if (a == "--out") {
            if (++i == args.size()) return usage_error("--out takes a folder");
            out = QString::fromStdString(args[i]);
        } else if (const auto* shot = kv::shots::find_shot(a)) {
            chosen.push_back(shot);
        } else {
            return usage_error("no such picture: " + a + " (see --list)");
        }
    }
    if (chosen.empty())
        for (const auto& shot : kv::shots::shots()) chosen.push_back(&shot);
    if (!QDir().mkpath(out)) return usage_error("cannot create " + out.toStdString());
    int status = 0;
    for (const auto* shot : chosen)
        if (!save(shot->take(), out + "/" + QString::fromStdString(shot->name) + ".png"))
            status = 1;
    return status;
}
