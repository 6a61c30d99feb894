#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

// What a call gives back: nothing, an integer, a floating-point number or a text.
using InfobaseValue = std::variant<std::monostate, long, double, std::wstring>;

// An error the infobase reports to its caller.
struct InfobaseError {
    std::wstring message;
};

// The infobase the COM stand-in opens, the same folder the process stand-in reads: "Users.txt"
// ("name;password" lines) and "Balances.txt" ("code;warehouse;quantity" lines), both UTF-8,
// and the same five global-module functions. The balances file is read again at every fill.
class StandInInfobase {
public:
    static std::wstring RMTradeValue();
    // "f(...)" gives "f".
    static std::wstring FunctionName(const std::wstring& expression);

    // Opens the infobase the command line names ("/D" folder, "/N" user, "/P" password); a
    // folder written as a Linux path is reached through Wine's mapping of the file system.
    bool Initialize(const std::wstring& commandLine);
    // Throws InfobaseError.
    InfobaseValue EvalExpr(const std::wstring& expression);

private:
    struct Balance {
        std::wstring code;
        std::wstring warehouse;
        double quantity;
    };

    std::optional<std::vector<Balance>> ReadBalances() const;
    InfobaseValue Clear(const std::wstring& argument);
    InfobaseValue Add(const std::wstring& argument);
    InfobaseValue SetFilter(const std::wstring& argument);
    InfobaseValue Fill(const std::wstring& argument);
    InfobaseValue Get(const std::wstring& argument);

    std::wstring folder_;
    bool opened_ = false;
    std::set<std::wstring> codes_;
    std::vector<std::wstring> filter_;
    std::map<std::wstring, double> filled_;
};
