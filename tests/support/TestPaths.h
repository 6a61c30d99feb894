#pragma once

#include <QString>

// Where the build puts the project's programs, for tests that start them as processes.
namespace TestPaths {
QString BinaryDir();
QString SourceDir();
} // namespace TestPaths
