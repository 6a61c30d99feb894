#pragma once

// The service without a window ("--headless"): loads the settings file of the program folder
// (the executable's, or the one after "--folder"), starts every connection and runs until
// SIGTERM or SIGINT, then stops the connections and saves the configuration. argv is the
// program's whole command line. Exit codes: 0 after an orderly end, 1 when it cannot start (a
// settings file that does not load, a folder it cannot use, a wrong command line), 2 when
// another instance runs for the folder, 3 when the configuration could not be saved at the end
// (the error is in the log and on standard error).
int RunHeadless(int argc, char** argv);
