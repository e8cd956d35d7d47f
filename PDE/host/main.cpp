// tessaron-print: the print dialog of the suite's queues.
#include "CommandLine.h"
#include "Program.h"
#include "Translations.h"

#include <QApplication>

#include <cstdlib>
#include <cstring>
#include <iostream>

int main(int argc, char** argv) {
    using namespace tessaron::print;
    // The usage needs no display: answered before Qt looks for one.
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << usageText();
        return kExitOK;
    }
    // Screenshots need no display.
    if (wantsScreenshots(argc, argv) && !std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tessaron-print"));
    QApplication::setApplicationVersion(QStringLiteral(TESSARON_VERSION));
    CatalogueTranslator translator;
    QApplication::installTranslator(&translator);

    std::vector<std::string> args;
    for (const QString& arg : QApplication::arguments().mid(1)) args.push_back(arg.toStdString());
    std::string error;
    const std::optional<CommandLine> line = parseCommandLine(args, error);
    if (!line) {
        std::cerr << "tessaron-print: " << error << "\n" << usageText();
        return kExitUsage;
    }
    return runProgram(*line, std::cout, std::cerr);
}
