#include "TestPaths.h"

namespace TestPaths {
QString BinaryDir() {
    return QStringLiteral(SYN_BINARY_DIR);
}
QString SourceDir() {
    return QStringLiteral(SYN_SOURCE_DIR);
}
} // namespace TestPaths
