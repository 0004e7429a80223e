#include "app/LumekoApp.h"

int main(int argc, char** argv) {
    CLumekoApp app(argc, argv);
    if (!app.InitInstance()) return 1;
    return app.Run();
}
