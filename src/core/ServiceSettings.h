#pragma once

// The settings read once at start from the section "Settings" of the settings file; a changed
// value takes effect at the next start.
struct ServiceSettings {
    int NumberAttempts = 3;
    bool ShowAllLogs = false;
    int MaxSizeLogs = 5; // megabytes
};
