#include <QCoreApplication>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/LumekoApp.h"
#include "app/ShellOpenServer.h"

namespace {

constexpr char kUsage[] =
    "Usage: lumeko [FILE.avi...] [/play] [/close]\n"
    "       lumeko --send FILE.avi...   queue files in the running player\n"
    "Plays TrueMotion movies. Files are queued and played in turn; /play (or -play) starts\n"
    "each one at once, /close (or -close) ends the program after the last one.\n"
    "Files named without flags while a player runs join that player's queue.\n";

QString ProgramBaseName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).baseName();
}

// The names as the system passed them, made absolute here: the running player resolves
// nothing in its own folder.
std::vector<std::string> AbsolutePaths(char** first, char** last) {
    const std::string directory = CurrentDirectory();
    std::vector<std::string> paths;
    for (char** a = first; a != last; ++a) paths.push_back(AbsolutePath(*a, directory));
    return paths;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("Lumeko " LUMEKO_VERSION);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "--send") == 0) {
        if (argc < 3) {
            std::fputs("lumeko: --send needs at least one file\n", stderr);
            return 2;
        }
        const std::vector<std::string> paths = AbsolutePaths(argv + 2, argv + argc);
        QCoreApplication core(argc, argv);
        if (ShellOpenServer::Send(ProgramBaseName(), paths)) return 0;
        std::fputs("lumeko: no running player to send to\n", stderr);
        return 1;
    }
    // Files alone, as a file manager names them, join the queue of a running player;
    // flags ask for a run of their own (a script waiting for /close, say).
    if (argc > 1 && std::none_of(argv + 1, argv + argc,
                                 [](const char* a) { return CLumekoCommandLineInfo::IsFlag(a); })) {
        const std::vector<std::string> paths = AbsolutePaths(argv + 1, argv + argc);
        QCoreApplication core(argc, argv);
        if (ShellOpenServer::Send(ProgramBaseName(), paths)) return 0;
    }
    CLumekoApp app(argc, argv);
    if (!app.InitInstance()) return 1;
    return app.Run();
}
