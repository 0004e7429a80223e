#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/LumekoApp.h"
#include "app/ShellOpenServer.h"

namespace {

constexpr char kUsage[] =
    "Usage: lumeko [FILE.avi...] [/play] [/close]\n"
    "       lumeko --send FILE.avi...   queue files in the running player\n"
    "Plays TrueMotion movies. Files are queued and played in turn; /play (or -play) starts\n"
    "each one at once, /close (or -close) ends the program after the last one.\n";

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
        QCoreApplication core(argc, argv);
        std::vector<std::string> files(argv + 2, argv + argc);
        if (ShellOpenServer::Send(QFileInfo(QCoreApplication::applicationFilePath()).baseName(), files)) return 0;
        std::fputs("lumeko: no running player to send to\n", stderr);
        return 1;
    }
    CLumekoApp app(argc, argv);
    if (!app.InitInstance()) return 1;
    return app.Run();
}
