// Another process for the Windows platform cases:
//   hold NAME         takes the running-launcher marker NAME and stays
//   signal NAME       signals the named event NAME
//   handle VALUE FILE writes "open" to FILE when VALUE is a handle it has
//   stay              stays until it is ended
//   handover          (as launcher.exe) starts launch_helper.exe, stays a second
//   anything else     writes its arguments to args.txt, one a line
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/instance_marker.h"
#include "platform/named_event.h"
#include "platform/process.h"

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "handover") {
        // The launcher's hand-over: the helper waits for this process to end.
        if (!platform::spawn_process("launch_helper.exe", {})) return 1;
        ::Sleep(1000);
        return 0;
    }
    if (mode == "hold" && argc == 3) {
        const auto marker = platform::InstanceMarker::acquire(argv[2]);
        if (!marker) return 1;
        ::Sleep(INFINITE);
    }
    if (mode == "signal" && argc == 3) {
        const auto event = platform::NamedEvent::open(argv[2]);
        return event && event->signal() ? 0 : 1;
    }
    if (mode == "handle" && argc == 4) {
        const auto handle = reinterpret_cast<HANDLE>(std::strtoull(argv[2], nullptr, 10));
        DWORD flags = 0;
        std::ofstream(argv[3]) << (::GetHandleInformation(handle, &flags) ? "open" : "none");
        return 0;
    }
    if (mode == "stay") ::Sleep(INFINITE);
    std::ofstream out("args.txt", std::ios::binary);
    for (int i = 1; i < argc; ++i) out << argv[i] << '\n';
    return 0;
}
