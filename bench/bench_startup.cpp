// The window's start as a user sees it: from starting the program to the
// main window shown (offscreen), the SoundFont loading in the background as
// always. Each run is a new process; prints every time, then the median and
// the worst as startup_ms=.
#include <unistd.h>

#include <QApplication>
#include <QFont>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "help/d6onhelpfix.h"
#include "help/hh_funcs.h"
#include "midi/midi.h"
#include "midi/port_list.h"
#include "ui/main_window.h"
#include "ui/translations.h"

namespace {

// What main() does up to the window shown, then says so on stdout and leaves.
int Child(int argc, char** argv) {
    HHDetect(argv[0], argv[0], {});
    MidiUnit midi(CreateDefaultMidiOutService());
    QApplication app(argc, argv);
    LoadQtGermanTranslations(app);
    QFont font("Liberation Sans");
    font.setPixelSize(11);
    QApplication::setFont(font);
    HelpRouting helpRouting;
    TfrmMain window(midi);
    window.show();
    QTimer::singleShot(0, [] {
        std::puts("gezeigt");
        std::fflush(stdout);
        std::_Exit(0);  // the end is not what is measured
    });
    return app.exec();
}

double OneStartMs(const std::string& self) {
    const auto start = std::chrono::steady_clock::now();
    FILE* child = popen(("exec '" + self + "' --child").c_str(), "r");
    if (!child) std::exit(1);
    char line[64] = {};
    const bool shown =
        std::fgets(line, sizeof line, child) && std::strncmp(line, "gezeigt", 7) == 0;
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    pclose(child);
    if (!shown) {
        std::fprintf(stderr, "the window did not appear\n");
        std::exit(1);
    }
    return ms;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0) return Child(argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        ms.push_back(OneStartMs(self));
        std::printf("start %d: %.1f ms\n", i + 1, ms.back());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("median_ms=%.1f\nstartup_ms=%.1f\n", ms[ms.size() / 2], ms.back());
    return 0;
}
