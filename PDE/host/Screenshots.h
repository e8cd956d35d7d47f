// Renders every page of the dialog to a PNG file, for documentation and review:
// "01-copies-paper.png", "02-features.png" ... in the given directory.
#pragma once

#include <QString>
#include <QStringList>

namespace tessaron::print {

class PrintDialog;

// The file name of page `index` named `name`: number, then the name in lower case with
// every run of other characters as one dash.
QString screenshotFileName(int index, const QString& name);

// The files written; on failure `error` says which one could not be written and the list
// holds those written before it.
QStringList writeScreenshots(PrintDialog& dialog, const QString& directory, QString& error);

}  // namespace tessaron::print
