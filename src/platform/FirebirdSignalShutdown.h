#pragma once

// The Firebird client catches SIGTERM and SIGINT itself and answers them by shutting down
// every attachment and unloading its engine on a thread of its own. A program that ends in
// its own orderly way on those signals calls this first: the client then leaves them to the
// program, whose end would otherwise race that shutdown (lost saves, a crash in the exit).
// Once per process is enough; later calls do nothing.
void RefuseFirebirdShutdownOnSignal();
