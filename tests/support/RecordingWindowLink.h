#pragma once

#include "core/WindowLink.h"

// A window link for tests: counts what the window was asked to do.
class RecordingWindowLink final : public WindowLink {
public:
    void RefreshControls() override { ++refreshes_; }
    void PostMinimize() override { ++minimizes_; }

    int Refreshes() const { return refreshes_; }
    int Minimizes() const { return minimizes_; }

private:
    int refreshes_ = 0;
    int minimizes_ = 0;
};
