#include "core/query/population.h"

// Placeholders so that the windows can be built against the interface while it is written.
namespace query {

std::optional<RegisterAt> registerAt(const QString&, const QString&, QDate) {
    return {};
}
QString historyNote(const RegisterAt&, QDate) {
    return {};
}
std::optional<Report> changeReport(const QString&, const QString&, const Period&) {
    return {};
}
std::optional<Report> changeBook(const QString&, const QString&, const Period&) {
    return {};
}
std::vector<int> defaultRosterColumns() {
    return {1, 7, 6, 8, 9, 14, 15, 10, 11};
}
std::string maskIdentity(const std::string& number) {
    return number;
}
std::optional<Report> roster(const QString&, const RosterChoice&, const ReportProgress&) {
    return {};
}

}  // namespace query
