#pragma once
// The statistics as a workbook: one sheet per table, the period and the reference date in the
// first rows of each.
#include <QString>

#include "core/query/statistics.h"

namespace exchange {

// Writes the workbook at `path` (.xls), replacing a file there only once the new one is complete.
bool writeStatisticsWorkbook(const QString& path, const query::Statistics& statistics);

}  // namespace exchange
