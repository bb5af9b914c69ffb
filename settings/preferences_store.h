// The settings record with its file and the memory-based defaults: the part
// of the settings dialog that needs no window. PreferencesDialog derives from
// it; the main window holds that dialog for its whole life and runs these
// operations on it while the dialog is closed as well.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/message_box.h"
#include "settings/launch_preferences.h"

class PreferencesStore {
public:
    // Total physical memory in bytes, 32-bit as the platform reports it;
    // nothing when it cannot be read.
    using MemoryQuery = std::function<std::optional<std::uint32_t>()>;

    // `messageTarget` shows the memory message while no dialog window is
    // open (owned by no window); it may be null, the message then goes to
    // standard error. `totalMemory` defaults to the machine's.
    explicit PreferencesStore(platform::MessageBoxes* messageTarget = nullptr,
                              MemoryQuery totalMemory = {});
    virtual ~PreferencesStore() = default;
    PreferencesStore(const PreferencesStore&) = delete;
    PreferencesStore& operator=(const PreferencesStore&) = delete;

    // Loads the record from "base\pref_launch.prefs". False when the file
    // cannot be opened. Either way `fullscreen` is true afterwards.
    bool ReadSettingsFile();
    // Writes the record to the file; failures are silent. The old file stays
    // whole until the new one is complete.
    void WriteSettingsFile();
    // The defaults of the machine's memory tier; below 300 MiB shows the
    // memory message and ends the process with 0. Memory that cannot be read
    // is logged and takes the lowest tier's defaults.
    void ApplyMemoryDefaults();
    // Start-up: read and rewrite the file, or, when there is none, the
    // memory defaults, written and read back.
    void LoadSettingsAtStartup();

    LaunchPreferences& preferences() { return preferences_; }
    const LaunchPreferences& preferences() const { return preferences_; }

    void SetMessageTarget(platform::MessageBoxes* target) { messageTarget_ = target; }

protected:
    struct MessageRoute {
        platform::MessageBoxes* target;
        platform::BoxOwner owner;
    };
    // Where the memory message goes: the owner's target, owned by no window.
    // An open dialog puts it over its own window instead.
    virtual MessageRoute MemoryMessageRoute();

private:
    [[noreturn]] void RefuseTooLittleMemory();

    LaunchPreferences preferences_;
    platform::MessageBoxes* messageTarget_;
    MemoryQuery totalMemory_;
};
