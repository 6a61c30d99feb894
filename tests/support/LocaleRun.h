#pragma once

#include <QString>
#include <QStringList>

// The regional settings are read from the environment once, at start: a test that needs
// another locale runs some of its own functions again in a child with LC_ALL set.
namespace LocaleRun {

// Runs this test program's functions under the locale; true when they all passed. output
// takes what the child wrote.
bool RunFunctions(const QString& locale, const QStringList& functions, QString* output,
                  int timeoutMs = 120000);

} // namespace LocaleRun
