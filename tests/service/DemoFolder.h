#pragma once

#include <QByteArray>
#include <QString>

class DemoData;

// The program folder the service tests run the real program in.
namespace DemoFolder {

// Makes folder as installed (the catalogue of connection types comes with it) and builds data
// in it with a period of 0 minutes, so that one cycle follows the other; returns the settings
// file as built. Comes before this process opens any Firebird file, so that it shares the
// program's private Firebird root.
QByteArray Install(const DemoData& data, const QString& folder);

} // namespace DemoFolder
