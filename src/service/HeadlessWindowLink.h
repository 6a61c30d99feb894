#pragma once

#include "core/WindowLink.h"

// The service without a window: there are no controls to refresh and nothing to minimise.
class HeadlessWindowLink final : public WindowLink {
public:
    void RefreshControls() override {}
    void PostMinimize() override {}
};
