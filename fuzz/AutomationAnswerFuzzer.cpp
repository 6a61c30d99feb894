// An answer line of any bytes, as the automation client reads it from the server; an answer
// it understands encodes back to a line that decodes to the same answer.
#include "FuzzInput.h"

#include "platform/AutomationProtocol.h"

#include <cstdlib>

namespace {

QByteArray Reencoded(const AutomationProtocol::Answer& answer) {
    QByteArray line = answer.failed ? AutomationProtocol::EncodeError(answer.message)
                                    : AutomationProtocol::EncodeAnswer(answer.value);
    if (!line.endsWith('\n'))
        std::abort();
    line.chop(1);
    return line;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::optional<AutomationProtocol::Answer> answer =
        AutomationProtocol::DecodeAnswer(FuzzInput::Bytes(data, size));
    if (!answer)
        return 0;
    const QByteArray line = Reencoded(*answer);
    const std::optional<AutomationProtocol::Answer> again = AutomationProtocol::DecodeAnswer(line);
    if (!again || Reencoded(*again) != line)
        std::abort();
    return 0;
}
