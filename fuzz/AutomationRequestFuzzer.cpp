// A request line of any bytes, as the automation server reads it from its standard input; a
// request it understands encodes back to a line that decodes to the same request.
#include "FuzzInput.h"

#include "platform/AutomationProtocol.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::optional<AutomationProtocol::Request> request =
        AutomationProtocol::DecodeRequest(FuzzInput::Bytes(data, size));
    if (!request)
        return 0;
    QByteArray line = AutomationProtocol::EncodeRequest(request->method, request->arguments);
    if (!line.endsWith('\n'))
        std::abort();
    line.chop(1);
    const std::optional<AutomationProtocol::Request> again =
        AutomationProtocol::DecodeRequest(line);
    if (!again)
        std::abort();
    QByteArray lineAgain = AutomationProtocol::EncodeRequest(again->method, again->arguments);
    lineAgain.chop(1);
    if (lineAgain != line)
        std::abort();
    return 0;
}
