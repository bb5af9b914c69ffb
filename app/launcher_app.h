// The launcher application: start-up in its fixed order, then the window.
#pragma once

class Cpatcher_client_MFCApp {
public:
    // Ends an older launcher, records the game directory, reads the command
    // line and runs the window until it closes. Always returns false: the
    // process ends after it.
    bool InitInstance(int argc, char** argv);
    int ExitInstance() { return 0; }
};
