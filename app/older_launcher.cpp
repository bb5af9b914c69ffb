#include "app/older_launcher.h"

#include "platform/process.h"

void EndOlderLauncher() {
    if (const auto pid = platform::find_other_process(kLauncherExeName, /*startedBeforeUs=*/true,
                                                      /*oursHere=*/true)) {
        platform::terminate_process(*pid);
    }
}
