#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

// The test switches of the COM stand-in, read from the environment variable
// INFOBASE_COM_SWITCHES (blank-separated, double quotes group words), since the object is
// created by ProgID and has no command line. They act on calls by name as the process
// stand-in's do: a method (RMTrade, Initialize, EvalExpr) or, for EvalExpr, the function the
// expression calls.
//   --fail <name>:<message>   raise the message as the call's exception
//   --answer <name>:<text>    answer the text in place of the call's own answer
//   --exit-during <name>      end the process (the one the object lives in) without answering
//   --delay <ms>              wait before every answer
class StandInSwitches {
public:
    enum class Action { None, Fail, Answer, Exit };

    struct Reaction {
        Action action = Action::None;
        std::wstring text;
    };

    // Throws std::wstring with the reason for switches it does not understand.
    static StandInSwitches FromEnvironment();
    explicit StandInSwitches(const std::vector<std::wstring>& words);

    // What the first of the names that has a switch asks for.
    Reaction For(const std::vector<std::wstring>& names) const;
    unsigned DelayMs() const { return delayMs_; }

private:
    std::map<std::wstring, std::wstring> failures_;
    std::map<std::wstring, std::wstring> answers_;
    std::set<std::wstring> exits_;
    unsigned delayMs_ = 0;
};
