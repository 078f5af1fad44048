#pragma once

#include "ctl/Console.h"

class Journal;

// `history`: the journal, oldest first. A table by default, --csv with a header, --json as JSON
// lines (one object per job, exactly as journalled, so that `jq` reads it line by line).
enum class HistoryFormat
{
    Table,
    Csv,
    Json
};

ExitStatus RunHistory(const Journal& journal, HistoryFormat format, const Console& console);
