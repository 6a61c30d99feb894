#pragma once

#include <QString>

#include <memory>

class WinePrefix;

// The COM stand-in of the infobase (tools/infobase-com), reached the way a real 1C under Wine
// is: the registration file starts Wine with the automation bridge, which creates the object
// by ProgID. Its test switches travel in the environment variable kSwitchesVariable.
namespace ComStandIn {

inline constexpr char kSwitchesVariable[] = "INFOBASE_COM_SWITCHES";

QString DllPath();
QString BridgePath();
// Empty once the DLL is registered in the prefix (regsvr32), else why it is not.
QString Register(const WinePrefix& prefix);
// The tests' shared prefix with the DLL registered in it; problem says why when it is not.
std::unique_ptr<WinePrefix> RegisteredPrefix(QString& problem);
// A registration file naming "wine <bridge> <ProgID>" for the ProgIDs of types 2 to 6.
void WriteRegistration(const QString& path);

} // namespace ComStandIn
