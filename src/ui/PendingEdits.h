#pragma once

#include <functional>

class Prompts;
class RecordSet;

// What becomes of an edit the operator left open: on leaving a tab the operator is asked to
// keep it, on Escape it is dropped without a question.
class PendingEdits {
public:
    // The checks a connection must pass before it is posted; each shows its own warning.
    using ConnectionChecks = std::function<bool()>;

    PendingEdits(Prompts& prompts, ConnectionChecks connectionChecks);

    // Asks whether to keep a pending edit of table: Yes posts (a connection only once its
    // checks pass), No cancels, Cancel or a failed check refuses the change of tab: false.
    bool ConfirmPendingEdit(RecordSet& table);
    // Drops a pending edit of table; mayClose goes false when there was one.
    static void CancelPendingEdit(RecordSet& table, bool& mayClose);

private:
    Prompts& prompts_;
    ConnectionChecks connectionChecks_;
};
