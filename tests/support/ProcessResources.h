#pragma once

#include <QStringList>

// What this process holds of the system's resources at one moment, from /proc, for tests
// that look for leaks over many runs.
namespace ProcessResources {

// What each open descriptor refers to: a path, or "socket:[inode]", "pipe:[inode]" and the like.
QStringList OpenFiles();
int Threads();
// Processes whose parent is this one, ended ones not yet reaped included.
int Children();

} // namespace ProcessResources
