// morvanet-explorer: the interactive home of every kind of tree, corpus and question.
#include "ExplorerArguments.h"
#include "ExplorerWindow.h"

#include <QApplication>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <vector>

#ifndef MORVANET_VERSION
#define MORVANET_VERSION "unknown"
#endif

int main(int argc, char **argv)
{
    // Read first, so that a wrong command line needs no display.
    const ExplorerArguments arguments = parseExplorerArguments(argc, argv);
    switch (arguments.outcome) {
    case ExplorerArguments::Outcome::Help:
        std::fputs(explorerUsage, stdout);
        std::fputs(explorerHelp, stdout);
        return 0;
    case ExplorerArguments::Outcome::Version:
        std::puts("morvanet-explorer " MORVANET_VERSION);
        return 0;
    case ExplorerArguments::Outcome::Wrong:
        std::fprintf(stderr, "morvanet-explorer: %s\n%sTry 'morvanet-explorer --help' for more.\n",
                     arguments.error.c_str(), explorerUsage);
        return 2;
    case ExplorerArguments::Outcome::Run:
        break;
    }

    // The toolkit sees its own options only.
    std::vector<std::string> toolkit = arguments.toolkit;
    std::vector<char *> toolkitArgv;
    for (std::string &argument : toolkit)
        toolkitArgv.push_back(argument.data());
    toolkitArgv.push_back(nullptr);
    int toolkitArgc = static_cast<int>(toolkit.size());
    QApplication application(toolkitArgc, toolkitArgv.data());
    QApplication::setOrganizationName(QStringLiteral("Morvanet"));
    QApplication::setApplicationName(QStringLiteral("Morvanet Explorer"));
    QApplication::setApplicationVersion(QStringLiteral(MORVANET_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.morvanet.Explorer"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("org.morvanet.Explorer")));

    ExplorerWindow window(arguments.controlsGiven ? arguments.controls : savedExplorerControls());
    if (arguments.controlsGiven)
        window.session().setMaxBytes(arguments.controls.maxBytes);
    window.show();
    if (!arguments.path.empty()) {
        const QString path = QFile::decodeName(QByteArray::fromStdString(arguments.path));
        std::optional<std::string> phrase;
        if (arguments.phraseGiven)
            phrase = arguments.phrase;
        // Once the window is up, so that its progress shows.
        QTimer::singleShot(0, &window, [&window, path, phrase] { window.openPath(path, phrase); });
    }
    return QApplication::exec();
}
