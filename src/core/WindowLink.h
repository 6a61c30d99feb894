#pragma once

// What the layers below the window may ask of it.
class WindowLink {
public:
    virtual ~WindowLink() = default;

    // Recomputes the locks and the enabled state of the window's buttons and editors.
    virtual void RefreshControls() = 0;
    // Posts the minimise command, carried out once the event loop runs.
    virtual void PostMinimize() = 0;
};
