// launcher.exe
#include "app/launcher_app.h"

int main(int argc, char** argv) {
    Cpatcher_client_MFCApp app;
    app.InitInstance(argc, argv);
    return app.ExitInstance();
}
