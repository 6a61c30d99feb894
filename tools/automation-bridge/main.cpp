// automation-bridge <ProgID>: serves the COM automation object of the ProgID over the line
// protocol on standard input and output until input ends.

#include "Bridge.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <objbase.h>

#include <cstdio>
#include <iostream>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fputs("usage: automation-bridge <ProgID>\n", stderr);
        return 2;
    }
    // The protocol is UTF-8 with LF line ends: no text-mode translation.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);

    const HRESULT initialized = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(initialized)) {
        std::fprintf(stderr, "automation-bridge: CoInitializeEx failed: 0x%08lX\n",
                     static_cast<unsigned long>(initialized));
        return 1;
    }
    {
        Bridge bridge(argv[1]);
        // The client hears of the failure at its first call; the log keeps it too.
        if (!bridge.CreationFailure().empty())
            std::fprintf(stderr, "automation-bridge: %s\n", bridge.CreationFailure().c_str());
        std::string line;
        while (std::getline(std::cin, line)) {
            const std::string answer = bridge.Answer(line);
            std::fwrite(answer.data(), 1, answer.size(), stdout);
            std::fflush(stdout);
        }
    }
    CoUninitialize();
    return 0;
}
