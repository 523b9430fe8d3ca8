#pragma once
// Drawing a household's register card on paper or into a PDF file.
#include <QString>

#include "core/edit/registercard.h"

class QPagedPaintDevice;
class QWidget;

namespace maint {

// Draws the card on A4 pages of `device`, kMembersPerPage members a page; false when the device
// could not be painted on.
bool paintCard(QPagedPaintDevice& device, const RegisterCard& card);

// Writes the card as a PDF file at `path` with its fonts embedded, replacing a file there only
// once the new one is complete.
bool writeCardPdf(const QString& path, const RegisterCard& card);

enum class PrintResult { Printed, Cancelled, Failed };
// Asks for a printer through the print dialog and prints.
// `printerName`, when given, gets the printer's name (or the file printed to) once printed.
PrintResult printCard(QWidget* parent, const RegisterCard& card, QString* printerName = nullptr);

}  // namespace maint
