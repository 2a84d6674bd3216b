#include "ExplorerWindow.h"

#include "ConcordanceModel.h"
#include "LinesPane.h"
#include "OutputBuffer.h"
#include "TextPane.h"
#include "TreeWriter.h"

#include <QAbstractItemView>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QCompleter>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFontDatabase>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QSaveFile>
#include <QSettings>
#include <QSpinBox>
#include <QStatusBar>
#include <QStringListModel>
#include <QTextBrowser>
#include <QToolBar>
#include <QThread>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWhatsThis>

#include <cstdio>
#include <functional>

#ifndef MORVANET_VERSION
#define MORVANET_VERSION "unknown"
#endif

namespace {

constexpr int recentLimit = 10;
constexpr int completionLimit = 12;

enum ExportKind { PictureExport, TreeExport, LinesExport };

QString directionKey(QueryDirection direction)
{
    switch (direction) {
    case QueryDirection::Before:
        return QStringLiteral("before");
    case QueryDirection::Both:
        return QStringLiteral("both");
    case QueryDirection::After:
        break;
    }
    return QStringLiteral("after");
}

QueryDirection directionOf(const QString &key)
{
    if (key == QLatin1String("before"))
        return QueryDirection::Before;
    if (key == QLatin1String("both"))
        return QueryDirection::Both;
    return QueryDirection::After;
}

const char *const wordRulesKeys[] = {"bytes", "unicode", "segmented"};

QString wordRulesKey(WordRules rules)
{
    return QLatin1String(wordRulesKeys[static_cast<std::size_t>(rules)]);
}

WordRules wordRulesOf(const QString &key)
{
    for (std::size_t i = 0; i < std::size(wordRulesKeys); ++i) {
        if (key == QLatin1String(wordRulesKeys[i]))
            return static_cast<WordRules>(i);
    }
    return WordRules::Bytes;
}

std::string localPath(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

// Writes with the tool's writers into a file, which is replaced whole or
// not at all; false if it cannot be opened or written.
template <typename Write>
bool writeFile(const QString &path, Write &&write)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    OutputBuffer output([&file](std::string_view bytes) {
        return file.write(bytes.data(), static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size());
    });
    write(output);
    return output.finish() && file.commit();
}

}  // namespace

ExplorerWindow::ExplorerWindow(const ExplorerControls &controls, QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("ExplorerWindow"));
    canvas_ = new TreeCanvas(this);
    canvas_->setObjectName(QStringLiteral("canvas"));
    canvas_->setWhatsThis(tr("The tree of the phrase: each label is a continuation, larger the more often it "
                             "occurs. Click a label to search it, Ctrl+click to list its lines; Ctrl+wheel zooms "
                             "and dragging pans."));
    setCentralWidget(canvas_);
    lines_ = new LinesPane(this);
    lines_->setObjectName(QStringLiteral("lines"));
    lines_->setWhatsThis(tr("Every occurrence of the tree's phrase in its context. Double-click a line to read "
                            "it in its text; Sort orders the lines by the words before or after the phrase."));
    linesDock_ = new QDockWidget(tr("Lines"), this);
    linesDock_->setObjectName(QStringLiteral("linesDock"));
    linesDock_->setWidget(lines_);
    addDockWidget(Qt::BottomDockWidgetArea, linesDock_);
    text_ = new TextPane(this);
    text_->setObjectName(QStringLiteral("text"));
    textDock_ = new QDockWidget(tr("Text"), this);
    textDock_->setObjectName(QStringLiteral("textDock"));
    textDock_->setWidget(text_);
    addDockWidget(Qt::RightDockWidgetArea, textDock_);
    textDock_->hide();
    documents_ = new DocumentsPane(this);
    documents_->setObjectName(QStringLiteral("documents"));
    documents_->setWhatsThis(tr("The documents of the corpus with their fields. A filter such as "
                                "year>=1850; author=Dickens* asks the trees and lines within the documents "
                                "that meet it; double-click a document to read its text."));
    documentsDock_ = new QDockWidget(tr("Documents"), this);
    documentsDock_->setObjectName(QStringLiteral("documentsDock"));
    documentsDock_->setWidget(documents_);
    addDockWidget(Qt::RightDockWidgetArea, documentsDock_);
    documentsDock_->hide();
    makeActions();
    makeMenus();
    makeToolBar();
    makeStatusBar();
    setAcceptDrops(true);
    resize(1100, 760);
    readSettings();
    session_.setControls(controls);

    connect(&session_, &ExplorerSession::changed, this, [this] {
        // The session moved on: a note of the window's own is old news.
        windowNotice_.clear();
        refresh();
    });
    connect(&session_, &ExplorerSession::failed, this, &ExplorerWindow::setStatus);
    connect(&session_, &ExplorerSession::loadWanted, this, [this](const CorpusRequest &request) {
        opener_.start(request);
        cancelLoad_->setEnabled(true);
        progress_->setRange(0, 0);
        progress_->show();
        cancel_->show();
        const QString name = QFileInfo(QFile::decodeName(QByteArray::fromStdString(request.path))).fileName();
        setStatus(session_.opening() ? tr("Opening %1…").arg(name) : tr("Indexing %1 again…").arg(name));
    });
    connect(&session_, &ExplorerSession::loadUnwanted, this, [this] {
        opener_.cancel();
        cancelLoad_->setEnabled(false);
        setStatus(QString());
    });
    connect(&opener_, &CorpusOpener::progressed, this, [this](const QString &text, int permille) {
        progress_->show();
        cancel_->show();
        if (permille >= 0) {
            progress_->setRange(0, 1000);
            progress_->setValue(permille);
        } else {
            progress_->setRange(0, 0);
        }
        status_->setText(text);
    });
    const auto loadOver = [this] {
        cancelLoad_->setEnabled(false);
        progress_->hide();
        cancel_->hide();
    };
    connect(&opener_, &CorpusOpener::loaded, this,
            [this, loadOver](std::shared_ptr<const OpenedCorpus> corpus, std::shared_ptr<const Vocabulary> vocabulary,
                             const QString &warning) {
                loadOver();
                addRecent(QFile::decodeName(QByteArray::fromStdString(corpus->request().path)));
                // A new corpus with nothing waiting for it asks what the phrase line holds.
                const bool askLine = session_.opening() && !session_.pendingPhrase();
                setStatus(QString());
                session_.setCorpus(std::move(corpus), std::move(vocabulary));
                showLoaded();
                if (askLine && !phrase_->text().trimmed().isEmpty())
                    search(phrase_->text());
                if (!warning.isEmpty())
                    setStatus(QString(warning).replace(QLatin1Char('\n'), QStringLiteral("; ")));
            });
    connect(&opener_, &CorpusOpener::failed, this, [this, loadOver](const QString &reason) {
        loadOver();
        const CorpusRequest *request = session_.loading();
        const QString name =
            request ? QFileInfo(QFile::decodeName(QByteArray::fromStdString(request->path))).fileName() : QString();
        session_.loadEnded();
        setStatus(tr("Cannot open %1: %2").arg(name, reason));
    });
    connect(&opener_, &CorpusOpener::cancelled, this, [this, loadOver] {
        loadOver();
        // Stopped by the user, not dropped by the session.
        if (session_.loading()) {
            session_.loadEnded();
            setStatus(tr("Loading stopped."));
        }
    });
    connect(canvas_, &TreeCanvas::noticeLinkActivated, this, &ExplorerWindow::followNoticeLink);
    connect(canvas_, &TreeCanvas::searchRequested, this, [this](const PhraseNode *node, bool middle, bool alone) {
        session_.askNode(*node, middle, alone);
    });
    connect(canvas_, &TreeCanvas::moreRequested, this, &ExplorerWindow::listLeftOut);
    connect(canvas_, &TreeCanvas::linesRequested, this, &ExplorerWindow::showLinesOf);
    connect(linesDock_, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (visible)
            refreshLines();
    });
    connect(lines_, &LinesPane::widened, this, [this] { canvas_->select({}); });
    connect(lines_, &LinesPane::lineActivated, this, [this](const ConcordanceLine &line) {
        textDock_->show();
        textDock_->raise();
        text_->showLine(lines_->model()->opened(), line);
    });
    connect(documents_, &DocumentsPane::filterEntered, this, [this](const QStringList &conditions) {
        std::vector<std::string> asked;
        for (const QString &condition : conditions)
            asked.push_back(condition.toStdString());
        QString why;
        documents_->setProblem(session_.setDocumentFilter(std::move(asked), why) ? QString() : why);
        showLoaded();
    });
    connect(documents_, &DocumentsPane::documentActivated, this, [this](std::uint32_t document) {
        const std::shared_ptr<const OpenedCorpus> &opened = session_.corpus();
        if (!opened || document >= opened->documentCount())
            return;
        textDock_->show();
        textDock_->raise();
        text_->showLine(opened, {document, 1, opened->corpus().documentStart(document), 0});
    });
    refresh();
}

ExplorerWindow::~ExplorerWindow()
{
    // A layer's values being counted read the corpus: they end first.
    for (const std::unique_ptr<QThread> &counter : counters_)
        counter->wait();
}

void ExplorerWindow::makeActions()
{
    openFile_ = new QAction(QIcon::fromTheme(QStringLiteral("document-open")), tr("&Open File…"), this);
    openFile_->setShortcut(QKeySequence::Open);
    connect(openFile_, &QAction::triggered, this, &ExplorerWindow::chooseFile);
    openFolder_ = new QAction(QIcon::fromTheme(QStringLiteral("folder-open")), tr("Open &Folder…"), this);
    openFolder_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    connect(openFolder_, &QAction::triggered, this, &ExplorerWindow::chooseFolder);
    exportPicture_ = new QAction(tr("Export &Picture…"), this);
    exportPicture_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    connect(exportPicture_, &QAction::triggered, this, [this] { chooseExport(PictureExport); });
    exportTree_ = new QAction(tr("Export &Tree…"), this);
    connect(exportTree_, &QAction::triggered, this, [this] { chooseExport(TreeExport); });
    exportLines_ = new QAction(tr("Export &Lines…"), this);
    connect(exportLines_, &QAction::triggered, this, [this] { chooseExport(LinesExport); });
    quit_ = new QAction(QIcon::fromTheme(QStringLiteral("application-exit")), tr("&Quit"), this);
    quit_->setShortcut(QKeySequence::Quit);
    connect(quit_, &QAction::triggered, this, &QWidget::close);

    copy_ = new QAction(QIcon::fromTheme(QStringLiteral("edit-copy")), tr("&Copy Picture"), this);
    copy_->setShortcut(QKeySequence::Copy);
    connect(copy_, &QAction::triggered, this, &ExplorerWindow::copyPicture);
    find_ = new QAction(QIcon::fromTheme(QStringLiteral("edit-find")), tr("&Find Phrase"), this);
    find_->setShortcut(QKeySequence::Find);
    connect(find_, &QAction::triggered, this, [this] {
        phrase_->setFocus(Qt::ShortcutFocusReason);
        phrase_->selectAll();
    });

    directions_ = new QActionGroup(this);
    const auto direction = [this](const QString &text, const QString &tip, QKeyCombination key, QueryDirection d) {
        auto *action = new QAction(text, directions_);
        action->setToolTip(tip);
        action->setCheckable(true);
        action->setShortcut(QKeySequence(key));
        connect(action, &QAction::triggered, this, [this, d] {
            if (!refreshing_)
                session_.setDirection(d);
        });
        return action;
    };
    after_ = direction(tr("&After"), tr("The tree of what follows the phrase"), Qt::CTRL | Qt::Key_1,
                       QueryDirection::After);
    before_ = direction(tr("&Before"), tr("The tree of what precedes the phrase"), Qt::CTRL | Qt::Key_2,
                        QueryDirection::Before);
    both_ = direction(tr("B&oth"), tr("The double tree: what precedes and what follows the phrase"),
                      Qt::CTRL | Qt::Key_3, QueryDirection::Both);
    sentences_ = new QAction(tr("&Stop at Sentence Ends"), this);
    sentences_->setCheckable(true);
    sentences_->setToolTip(tr("End every branch after the word that ends a sentence"));
    connect(sentences_, &QAction::toggled, this, [this](bool on) {
        if (!refreshing_)
            session_.setSentences(on);
    });
    ignoreCase_ = new QAction(tr("&Ignore Case"), this);
    ignoreCase_->setCheckable(true);
    ignoreCase_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    ignoreCase_->setToolTip(tr("Match and group words regardless of case"));
    connect(ignoreCase_, &QAction::triggered, this, &ExplorerWindow::controlCorpusOptions);
    wordRules_ = new QActionGroup(this);
    const QString wordRuleNames[] = {tr("&Byte Words (Latin-1)"), tr("&Unicode Words (UTF-8)"),
                                     tr("&Segmented Words (UTF-8, dictionaries for Chinese, Japanese, Thai)")};
    for (std::size_t i = 0; i < wordRuleActions_.size(); ++i) {
        wordRuleActions_[i] = new QAction(wordRuleNames[i], wordRules_);
        wordRuleActions_[i]->setCheckable(true);
    }
    connect(wordRules_, &QActionGroup::triggered, this, &ExplorerWindow::controlCorpusOptions);

    labelScales_ = new QActionGroup(this);
    phraseScale_ = new QAction(tr("Relative to the &Phrase"), labelScales_);
    phraseScale_->setToolTip(tr("A label's size follows how often it occurs among the phrase's occurrences, and the "
                                "main branches get the room"));
    corpusScale_ = new QAction(tr("Relative to the &Corpus (as the viewer draws)"), labelScales_);
    corpusScale_->setToolTip(tr("A label's size follows its share of the whole corpus, as the viewer draws it"));
    for (QAction *action : {phraseScale_, corpusScale_})
        action->setCheckable(true);
    phraseScale_->setChecked(true);
    connect(labelScales_, &QActionGroup::triggered, this, [this](QAction *action) {
        canvas_->setLabelScale(action == corpusScale_ ? LabelScale::Corpus : LabelScale::Phrase);
    });

    back_ = new QAction(QIcon::fromTheme(QStringLiteral("go-previous")), tr("&Back"), this);
    back_->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    connect(back_, &QAction::triggered, &session_, &ExplorerSession::goBack);
    forward_ = new QAction(QIcon::fromTheme(QStringLiteral("go-next")), tr("&Forward"), this);
    forward_->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
    connect(forward_, &QAction::triggered, &session_, &ExplorerSession::goForward);

    zoomIn_ = new QAction(QIcon::fromTheme(QStringLiteral("zoom-in")), tr("Zoom &In"), this);
    zoomIn_->setShortcuts({QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    connect(zoomIn_, &QAction::triggered, canvas_, &TreeCanvas::zoomIn);
    zoomOut_ = new QAction(QIcon::fromTheme(QStringLiteral("zoom-out")), tr("Zoom &Out"), this);
    zoomOut_->setShortcut(QKeySequence::ZoomOut);
    connect(zoomOut_, &QAction::triggered, canvas_, &TreeCanvas::zoomOut);
    zoomFit_ = new QAction(QIcon::fromTheme(QStringLiteral("zoom-fit-best")), tr("&Fit to Canvas"), this);
    zoomFit_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    connect(zoomFit_, &QAction::triggered, canvas_, &TreeCanvas::resetZoom);

    cancelLoad_ = new QAction(QIcon::fromTheme(QStringLiteral("process-stop")), tr("&Cancel Loading"), this);
    cancelLoad_->setShortcut(QKeySequence(Qt::Key_Escape));
    connect(cancelLoad_, &QAction::triggered, &opener_, &CorpusOpener::cancel);
    // Only while something loads, so that Escape is free for the rest.
    cancelLoad_->setEnabled(false);
    manual_ = new QAction(QIcon::fromTheme(QStringLiteral("help-contents")), tr("Morvanet Explorer &Manual"), this);
    manual_->setShortcut(QKeySequence(Qt::Key_F1));
    connect(manual_, &QAction::triggered, this, &ExplorerWindow::showManual);
    about_ = new QAction(tr("&About Morvanet Explorer"), this);
    connect(about_, &QAction::triggered, this, &ExplorerWindow::about);
    // Shortcuts work whether or not a menu or tool bar shows the action.
    addActions({cancelLoad_});
}

void ExplorerWindow::makeMenus()
{
    QMenu *file = menuBar()->addMenu(tr("&File"));
    file->addAction(openFile_);
    file->addAction(openFolder_);
    recentMenu_ = file->addMenu(tr("Open &Recent"));
    file->addSeparator();
    file->addAction(exportPicture_);
    file->addAction(exportTree_);
    file->addAction(exportLines_);
    file->addSeparator();
    file->addAction(quit_);

    QMenu *edit = menuBar()->addMenu(tr("&Edit"));
    edit->addAction(copy_);
    edit->addAction(find_);

    QMenu *tree = menuBar()->addMenu(tr("&Tree"));
    tree->addActions(directions_->actions());
    tree->addSeparator();
    tree->addAction(sentences_);
    tree->addAction(ignoreCase_);
    QMenu *words = tree->addMenu(tr("&Word Rules"));
    words->addActions(wordRules_->actions());
    tree->addSeparator();
    tree->addAction(back_);
    tree->addAction(forward_);
    tree->addSeparator();
    tree->addAction(zoomIn_);
    tree->addAction(zoomOut_);
    tree->addAction(zoomFit_);

    QMenu *view = menuBar()->addMenu(tr("&View"));
    QMenu *sizes = view->addMenu(tr("&Label Sizes"));
    sizes->addActions(labelScales_->actions());
    view->addSeparator();
    view->addAction(linesDock_->toggleViewAction());
    view->addAction(textDock_->toggleViewAction());
    QAction *showDocuments = documentsDock_->toggleViewAction();
    showDocuments->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D));
    // Shown from the menu or the keyboard, the dock is there to filter: its filter takes the keys.
    connect(showDocuments, &QAction::triggered, this, [this](bool shown) {
        if (shown) {
            documentsDock_->raise();
            documents_->filterEdit()->setFocus();
            documents_->filterEdit()->selectAll();
        }
    });
    view->addAction(showDocuments);

    QMenu *help = menuBar()->addMenu(tr("&Help"));
    help->addAction(manual_);
    help->addAction(QWhatsThis::createAction(this));
    help->addSeparator();
    help->addAction(about_);
}

void ExplorerWindow::makeToolBar()
{
    // Two rows, so that every control shows on a small screen: the question,
    // then how it is asked.
    QToolBar *bar = addToolBar(tr("Question"));
    bar->setObjectName(QStringLiteral("questionBar"));
    bar->setMovable(false);
    bar->addAction(back_);
    bar->addAction(forward_);
    phrase_ = new QLineEdit(bar);
    phrase_->setObjectName(QStringLiteral("phrase"));
    phrase_->setPlaceholderText(tr("Phrase or [pattern] to search, then Return"));
    phrase_->setClearButtonEnabled(true);
    phrase_->setMinimumWidth(220);
    phrase_->setToolTip(tr("The word or phrase whose tree is drawn; Return searches it (Ctrl+F)"));
    phrase_->setWhatsThis(tr("Type a word or phrase and press Return: the canvas draws the tree of what follows it "
                             "in the corpus (or what precedes it, or both). The corpus's words are offered as you "
                             "type, the most frequent first; Down chooses one, Escape closes the list. A phrase "
                             "that starts with [ or a quote is a pattern, one condition per token, such as "
                             "[lemma=\"say\"] [pos=\"ADP\"]: layer names and values are offered as you type it."));
    bar->addWidget(phrase_);
    connect(phrase_, &QLineEdit::returnPressed, this, [this] { search(phrase_->text()); });
    completions_ = new QStringListModel(this);
    completer_ = new QCompleter(completions_, this);
    completer_->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    completer_->setCaseSensitivity(Qt::CaseSensitive);
    completer_->setWidget(phrase_);
    // Return and Escape in the list are the window's (see eventFilter).
    completer_->popup()->installEventFilter(this);
    connect(phrase_, &QLineEdit::textEdited, this, &ExplorerWindow::completePhrase);
    connect(completer_, qOverload<const QString &>(&QCompleter::activated), this, &ExplorerWindow::takeCompletion);

    addToolBarBreak();
    QToolBar *controls = addToolBar(tr("Controls"));
    controls->setObjectName(QStringLiteral("controlsBar"));
    controls->setMovable(false);
    controls->addActions(directions_->actions());
    controls->addSeparator();
    controls->addAction(ignoreCase_);
    words_ = new QComboBox(controls);
    words_->setObjectName(QStringLiteral("wordRules"));
    words_->setToolTip(tr("How the text is cut into words"));
    words_->setWhatsThis(tr("Byte words: runs of ASCII letters and digits, as the viewer reads a text. Unicode "
                            "words: runs of letters, marks and numbers of any script (the text read as UTF-8). "
                            "Segmented words: as Unicode, with dictionaries that find the words of Chinese, "
                            "Japanese, Thai and other scripts written without blanks. Changing them indexes the "
                            "corpus again."));
    // In the order of WordRules, as the menu's actions.
    words_->addItem(tr("Byte words"));
    words_->addItem(tr("Unicode words"));
    words_->addItem(tr("Segmented words"));
    controls->addWidget(words_);
    connect(words_, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        wordRuleActions_[static_cast<std::size_t>(index)]->setChecked(true);
        controlCorpusOptions();
    });
    auto *showLabel = new QLabel(tr(" S&how "), controls);
    controls->addWidget(showLabel);
    show_ = new QComboBox(controls);
    show_->setObjectName(QStringLiteral("show"));
    show_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    show_->setWhatsThis(tr("The layer of an annotated corpus (CoNLL-U, vertical files) whose values the tree shows, "
                           "groups and searches: word, lemma, pos and the others its files have. Choosing another "
                           "indexes the corpus again and asks the phrase again. A saved index shows the layer it "
                           "was saved with."));
    showLabel->setBuddy(show_);
    controls->addWidget(show_);
    connect(show_, qOverload<int>(&QComboBox::activated), this, &ExplorerWindow::controlCorpusOptions);
    controls->addSeparator();
    auto *depthLabel = new QLabel(tr(" &Depth "), controls);
    controls->addWidget(depthLabel);
    depth_ = new QSpinBox(controls);
    depth_->setObjectName(QStringLiteral("depth"));
    depth_->setRange(-1, 9999);
    depth_->setSpecialValueText(tr("all"));
    depth_->setToolTip(tr("Leave out nodes more than this many levels below the phrase"));
    depthLabel->setBuddy(depth_);
    controls->addWidget(depth_);
    auto *minCountLabel = new QLabel(tr(" &Min count "), controls);
    controls->addWidget(minCountLabel);
    minCount_ = new QSpinBox(controls);
    minCount_->setObjectName(QStringLiteral("minCount"));
    minCount_->setRange(0, 1000000000);
    minCount_->setToolTip(tr("Leave out nodes that stand for fewer occurrences"));
    minCountLabel->setBuddy(minCount_);
    controls->addWidget(minCount_);
    connect(depth_, qOverload<int>(&QSpinBox::valueChanged), this, &ExplorerWindow::controlPruning);
    connect(minCount_, qOverload<int>(&QSpinBox::valueChanged), this, &ExplorerWindow::controlPruning);
}

bool ExplorerWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The completion list: Return searches the line (with the word chosen
    // in the list, if one was), Escape closes the list and keeps the line.
    if (watched == completer_->popup() && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            const QModelIndex chosen = completer_->popup()->currentIndex();
            completer_->popup()->hide();
            if (chosen.isValid()) {
                // A layer name chosen in a pattern is followed by its value: nothing to search yet.
                const bool layer = completingLayer_;
                takeCompletion(chosen.data().toString());
                if (layer)
                    return true;
            }
            search(phrase_->text());
            return true;
        }
        if (key == Qt::Key_Escape) {
            completer_->popup()->hide();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void ExplorerWindow::makeStatusBar()
{
    status_ = new QLabel(statusBar());
    status_->setObjectName(QStringLiteral("status"));
    status_->setTextFormat(Qt::PlainText);
    statusBar()->addWidget(status_, 1);
    // The open corpus stays summed up beside whatever the message says.
    summary_ = new QLabel(statusBar());
    summary_->setObjectName(QStringLiteral("summary"));
    summary_->setTextFormat(Qt::PlainText);
    statusBar()->addPermanentWidget(summary_);
    progress_ = new QProgressBar(statusBar());
    progress_->setMaximumWidth(220);
    progress_->setTextVisible(false);
    progress_->hide();
    statusBar()->addPermanentWidget(progress_);
    cancel_ = new QToolButton(statusBar());
    cancel_->setDefaultAction(cancelLoad_);
    cancel_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    cancel_->hide();
    statusBar()->addPermanentWidget(cancel_);
}

void ExplorerWindow::readSettings()
{
    QSettings settings;
    recent_ = settings.value(QStringLiteral("recent")).toStringList();
    while (recent_.size() > recentLimit)
        recent_.removeLast();
    rebuildRecentMenu();
    const bool corpusScale = settings.value(QStringLiteral("view/labelSizes")).toString() == QLatin1String("corpus");
    (corpusScale ? corpusScale_ : phraseScale_)->setChecked(true);
    canvas_->setLabelScale(corpusScale ? LabelScale::Corpus : LabelScale::Phrase);
    restoreGeometry(settings.value(QStringLiteral("window/geometry")).toByteArray());
    restoreState(settings.value(QStringLiteral("window/state")).toByteArray());
}

void ExplorerWindow::writeSettings() const
{
    QSettings settings;
    settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
    settings.setValue(QStringLiteral("window/state"), saveState());
    settings.setValue(QStringLiteral("view/labelSizes"),
                      canvas_->labelScale() == LabelScale::Corpus ? QStringLiteral("corpus") : QStringLiteral("phrase"));
    const ExplorerControls &controls = session_.controls();
    settings.setValue(QStringLiteral("controls/direction"), directionKey(controls.direction));
    settings.setValue(QStringLiteral("controls/ignoreCase"), controls.corpus.foldCase);
    settings.setValue(QStringLiteral("controls/sentences"), controls.sentences);
    settings.setValue(QStringLiteral("controls/words"), wordRulesKey(controls.corpus.words));
    settings.setValue(QStringLiteral("controls/show"), QString::fromStdString(controls.corpus.show));
    settings.setValue(QStringLiteral("controls/depth"),
                      controls.pruning.maxDepth == UINT32_MAX ? -1 : static_cast<qint64>(controls.pruning.maxDepth));
    settings.setValue(QStringLiteral("controls/minCount"), static_cast<qint64>(controls.pruning.minCount));
    settings.setValue(QStringLiteral("recent"), recent_);
}

ExplorerControls savedExplorerControls()
{
    QSettings settings;
    ExplorerControls controls;
    controls.direction = directionOf(settings.value(QStringLiteral("controls/direction")).toString());
    controls.corpus.foldCase = settings.value(QStringLiteral("controls/ignoreCase"), false).toBool();
    controls.sentences = settings.value(QStringLiteral("controls/sentences"), true).toBool();
    controls.corpus.words = wordRulesOf(settings.value(QStringLiteral("controls/words")).toString());
    controls.corpus.show = settings.value(QStringLiteral("controls/show")).toString().toStdString();
    const qint64 depth = settings.value(QStringLiteral("controls/depth"), -1).toLongLong();
    controls.pruning.maxDepth = depth < 0 || depth > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(depth);
    const qint64 minCount = settings.value(QStringLiteral("controls/minCount"), 0).toLongLong();
    controls.pruning.minCount = minCount < 0 || minCount > UINT32_MAX ? 0 : static_cast<std::uint32_t>(minCount);
    return controls;
}

void ExplorerWindow::openPath(const QString &path, const std::optional<std::string> &phrase)
{
    if (path.isEmpty())
        return;
    session_.open(localPath(path), phrase);
}


void ExplorerWindow::search(const QString &phrase)
{
    completer_->popup()->hide();
    if (phrase.trimmed().isEmpty()) {
        setStatus(tr("Type a word or phrase to search for."));
        return;
    }
    const std::optional<std::string> bytes = typedBytes(phrase, labelEncoding(session_.controls().corpus));
    const ExplorerSession::Asked asked = bytes ? session_.ask(*bytes) : ExplorerSession::Asked::NoTokens;
    if (asked == ExplorerSession::Asked::NoTokens) {
        windowNotice_ = noWordsNotice(phrase);
        setStatus(tr("The phrase has no words or marks to search for."));
        refresh();
    } else if (asked == ExplorerSession::Asked::Found) {
        setStatus(QString());
    }
}

QString ExplorerWindow::corpusName() const
{
    if (!session_.corpus())
        return {};
    return QFileInfo(QFile::decodeName(QByteArray::fromStdString(session_.corpus()->request().path))).fileName();
}

void ExplorerWindow::updateTitle()
{
    const QString name = corpusName();
    setWindowTitle(name.isEmpty() ? tr("Morvanet Explorer") : tr("%1 — Morvanet Explorer").arg(name));
}

void ExplorerWindow::showLoaded()
{
    const std::shared_ptr<const OpenedCorpus> &opened = session_.corpus();
    if (!opened) {
        summary_->clear();
        return;
    }
    const QLocale locale;
    const Corpus &corpus = opened->corpus();
    const std::size_t files = opened->documentCount();
    const QString tokens = locale.toString(static_cast<qulonglong>(corpus.tokenCount()));
    QString text;
    if (opened->saved()) {
        const QString path = QFile::decodeName(QByteArray::fromStdString(opened->request().path));
        const QString documents =
            files == 1 ? tr("1 document") : tr("%1 documents").arg(locale.toString(static_cast<qulonglong>(files)));
        text = tr("Saved index: %1, %2 tokens, %3, opened in %4 s")
                   .arg(documents, tokens, locale.formattedDataSize(QFileInfo(path).size()),
                        locale.toString(opened->loadSeconds(), 'f', 2));
    } else {
        const std::size_t read = opened->fileCount();
        text = read == 1 ? tr("1 file") : tr("%1 files").arg(locale.toString(static_cast<qulonglong>(read)));
        if (files != read)
            text += tr(" (%1 documents)").arg(locale.toString(static_cast<qulonglong>(files)));
        text += tr(", %1, %2 tokens, loaded in %3 s")
                    .arg(locale.formattedDataSize(static_cast<qint64>(opened->bytesRead())), tokens,
                         locale.toString(opened->loadSeconds(), 'f', 2));
        if (opened->cut())
            text += tr("; read %1 of %2")
                        .arg(locale.formattedDataSize(static_cast<qint64>(opened->bytesRead())),
                             locale.formattedDataSize(static_cast<qint64>(opened->bytesAvailable())));
    }
    if (const std::shared_ptr<const DocumentSubset> &within = session_.within()) {
        // Questions go to some of the documents: say how much of the corpus that is first.
        const auto compact = [&locale](std::uint64_t n) {
            return n >= 1'000'000 ? tr("%1 M").arg(locale.toString(static_cast<double>(n) / 1e6, 'f', 1))
                                  : locale.toString(static_cast<qulonglong>(n));
        };
        text = tr("%1 of %2 documents, %3 of %4 tokens; ")
                   .arg(locale.toString(static_cast<qulonglong>(within->documents().size())),
                        locale.toString(static_cast<qulonglong>(files)), compact(within->tokenCount()),
                        compact(corpus.tokenCount()))
               + text;
    }
    summary_->setText(text);
}

void ExplorerWindow::setStatus(const QString &text)
{
    status_->setText(text);
}

namespace {

// A phrase as a note quotes it: escaped, and cut if long.
QString quoted(const QString &phrase)
{
    constexpr qsizetype most = 80;
    const QString shown = phrase.size() <= most ? phrase : phrase.left(most - 1) + QChar(0x2026);
    return QStringLiteral("\u201C%1\u201D").arg(shown.toHtmlEscaped());
}

}  // namespace

QString ExplorerWindow::noticeFor(const ExplorerSession::Entry *entry) const
{
    const CorpusRequest *loading = session_.loading();
    const auto loadingName = [loading] {
        return QFileInfo(QFile::decodeName(QByteArray::fromStdString(loading->path))).fileName().toHtmlEscaped();
    };
    if (!session_.corpus()) {
        if (loading)
            return tr("<p>Opening %1…</p>").arg(loadingName());
        return tr("<p><b>Open a text or a folder of texts</b> (<a href=\"open\">File &gt; Open</a>), or drop one "
                  "here.</p><p>Then type a word or phrase above and press Return: the tree shows how the text "
                  "goes on after it.</p>");
    }
    if (!entry || !entry->answer) {
        if (loading)
            return tr("<p>Indexing %1…</p>").arg(loadingName());
        if (entry)
            return {};
        QString hint = tr("<p>Type a word or phrase above and press Return.</p>");
        if (!frequentWords_.isEmpty()) {
            QStringList links;
            for (const QString &word : frequentWords_)
                links.push_back(QStringLiteral("<a href=\"ask:%1\">%2</a>")
                                    .arg(QString::fromLatin1(QUrl::toPercentEncoding(word)), word.toHtmlEscaped()));
            hint += tr("<p>Its most frequent words: %1</p>").arg(links.join(QStringLiteral(", ")));
        }
        return hint;
    }
    if (entry->found())
        return {};
    const QueryAnswer &answer = *entry->answer;
    if (answer.status == QueryAnswer::Status::Failed)
        return tr("<p><b>%1</b></p>").arg(QString::fromStdString(answer.failure).toHtmlEscaped());
    const LabelEncoding encoding = labelEncoding(entry->controls.corpus);
    const QString phrase = labelString(entry->phrase, encoding);
    QString text = tr("<p><b>%1 does not occur in %2.</b></p>").arg(quoted(phrase), corpusName().toHtmlEscaped());
    if (!answer.missingTokens.empty()) {
        QStringList missing;
        for (const std::string &token : answer.missingTokens)
            missing.push_back(quoted(labelString(token, encoding)));
        text += missing.size() == 1
                    ? tr("<p>%1 is not in the corpus at all.</p>").arg(missing.front())
                    : tr("<p>These are not in the corpus at all: %1.</p>").arg(missing.join(QStringLiteral(", ")));
        if (!entry->controls.corpus.foldCase)
            text += tr("<p>Case matters: <a href=\"case\">Ignore Case</a> (Ctrl+I) matches any case.</p>");
    } else if (answer.phraseTokens.size() > 1) {
        text += tr("<p>Each of its words occurs, but never in this order.</p>");
    }
    if (entry->controls.corpus.words == WordRules::Segmented && !answer.phraseTokens.empty()) {
        QStringList words;
        for (const std::string &token : answer.phraseTokens)
            words.push_back(labelString(token, encoding).toHtmlEscaped());
        text += tr("<p>The phrase was cut into: %1</p>").arg(words.join(QLatin1Char(' ')));
    }
    return text;
}

QString ExplorerWindow::noWordsNotice(const QString &phrase) const
{
    const bool otherScript = std::any_of(phrase.begin(), phrase.end(), [](QChar c) { return c.unicode() >= 0x80; });
    if (session_.controls().corpus.words == WordRules::Bytes && otherScript) {
        return tr("<p><b>%1 has no words under the Byte rules</b>, which read only ASCII letters, digits and "
                  "marks.</p><p>Read the corpus by <a href=\"words:1\">Unicode words</a>, or by "
                  "<a href=\"words:2\">Segmented words</a> for Chinese, Japanese, Thai and other scripts written "
                  "without blanks.</p>")
            .arg(quoted(phrase));
    }
    return tr("<p><b>%1 has no words or marks to search for.</b></p>").arg(quoted(phrase));
}

void ExplorerWindow::followNoticeLink(const QString &link)
{
    if (link == QLatin1String("open")) {
        chooseFile();
    } else if (link == QLatin1String("case")) {
        ignoreCase_->trigger();
    } else if (link.startsWith(QLatin1String("words:"))) {
        const auto rules = static_cast<std::size_t>(link.mid(6).toInt());
        if (rules >= wordRuleActions_.size())
            return;
        wordRuleActions_[rules]->setChecked(true);
        controlCorpusOptions();
        // Asked once the corpus is cut by those rules.
        search(phrase_->text());
    } else if (link.startsWith(QLatin1String("ask:"))) {
        const QString phrase = QUrl::fromPercentEncoding(link.mid(4).toUtf8());
        phrase_->setText(phrase);
        search(phrase);
    }
}

QString ExplorerWindow::statusText() const
{
    return status_->text();
}

QString ExplorerWindow::summaryText() const
{
    return summary_->text();
}

void ExplorerWindow::refresh()
{
    refreshControls();
    const std::shared_ptr<const OpenedCorpus> &opened = session_.corpus();
    if (opened.get() != documentsOf_ || session_.within().get() != documentsWithin_) {
        if (opened.get() != documentsOf_) {
            documents_->setFilterText(DocumentsPane::textOf(session_.documentFilter()));
            documents_->setProblem(QString());
        }
        documentsOf_ = opened.get();
        documentsWithin_ = session_.within().get();
        documents_->setCorpus(opened, session_.within());
    }
    updateTitle();
    if (session_.vocabulary() != frequentOf_) {
        frequentOf_ = session_.vocabulary();
        frequentWords_ = frequentOf_ ? frequentOf_->mostFrequentWords(12) : QStringList();
    }
    const ExplorerSession::Entry *entry = session_.current();
    const bool found = entry && entry->found() && windowNotice_.isEmpty();
    const std::uint64_t serial = found ? entry->serial : 0;
    const TreePruning pruning = session_.controls().pruning;
    if (serial != shownSerial_ || pruning.maxDepth != shownPruning_.maxDepth
        || pruning.minCount != shownPruning_.minCount) {
        canvas_->showAnswer(found ? entry->answer : nullptr, found ? entry->corpus : nullptr, pruning);
        shownSerial_ = serial;
        shownPruning_ = pruning;
    }
    const QString notice = windowNotice_.isEmpty() ? noticeFor(entry) : windowNotice_;
    if (notice != shownNotice_) {
        canvas_->setNotice(notice);
        shownNotice_ = notice;
    }
    // The line shows the phrase of the entry shown, once it is shown (also
    // after Back and Forward); what is typed meanwhile stays.
    if (entry && entry->answer && entry->serial != phraseSerial_) {
        const LabelEncoding encoding = labelEncoding(entry->controls.corpus);
        phrase_->setText(labelString(std::string_view(entry->phrase).substr(0, 1000), encoding));
        phraseSerial_ = entry->serial;
    }
    refreshLines();
    back_->setEnabled(session_.canGoBack());
    forward_->setEnabled(session_.canGoForward());
    exportPicture_->setEnabled(found);
    exportTree_->setEnabled(found);
    exportLines_->setEnabled(found);
    copy_->setEnabled(found);
}

void ExplorerWindow::refreshLines(bool evenHidden)
{
    const ExplorerSession::Entry *entry = session_.current();
    const std::uint64_t serial = entry && entry->found() ? entry->serial : 0;
    // Made when they can be seen: a hidden pane costs no search.
    if (serial == linesSerial_ || (serial != 0 && linesDock_->isHidden() && !evenHidden))
        return;
    linesSerial_ = serial;
    ConcordanceModel &model = *lines_->model();
    if (serial == 0) {
        model.clear();
        return;
    }
    ExplorerSession::Lines lines = session_.lines();
    model.setOccurrences(entry->corpus, std::move(lines.starts), lines.length);
}

void ExplorerWindow::listLeftOut(const PhraseNode *node, std::uint32_t more, QPoint where)
{
    // The continuations the canvas had no room for: the last `more` of those
    // the pruning keeps, heaviest first as they come. The first ones of a
    // long list are offered; the rest are told.
    constexpr std::size_t most = 400;
    const TreePruning &pruning = session_.controls().pruning;
    std::vector<const PhraseNode *> kept;
    for (const auto &child : node->children()) {
        if (child->count() >= pruning.minCount)
            kept.push_back(child.get());
    }
    const std::size_t first = kept.size() > more ? kept.size() - more : 0;
    const LabelEncoding encoding = labelEncoding(session_.controls().corpus);
    const QLocale locale;
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("leftOut"));
    menu.setToolTipsVisible(true);
    const std::shared_ptr<const QueryAnswer> shown = session_.current() ? session_.current()->answer : nullptr;
    for (std::size_t i = first; i < kept.size() && i < first + most; ++i) {
        const std::string part = kept[i]->writtenLabelPrefix(121);
        QString text = labelString(wholeCharacters(std::string_view(part).substr(0, 120), false, encoding), encoding);
        if (part.size() > 120)
            text += QChar(0x2026);
        QAction *action = menu.addAction(tr("%1\t%2").arg(text.replace(QLatin1Char('&'), QStringLiteral("&&")),
                                                            locale.toString(kept[i]->count())));
        action->setData(QVariant::fromValue(static_cast<qulonglong>(i)));
    }
    if (kept.size() - first > most) {
        QAction *rest = menu.addAction(tr("… and %1 more (raise Min count to leave out the rarest)")
                                           .arg(locale.toString(static_cast<qulonglong>(kept.size() - first - most))));
        rest->setEnabled(false);
    }
    const QAction *chosen = menu.exec(where);
    // The menu waits in an event loop of its own: the tree may be gone since.
    if (!chosen || !session_.current() || session_.current()->answer != shown)
        return;
    session_.askNode(*kept[static_cast<std::size_t>(chosen->data().toULongLong())], false);
}

void ExplorerWindow::showLinesOf(const PhraseNode *node, bool middle)
{
    linesDock_->show();
    linesDock_->raise();
    refreshLines();
    ConcordanceModel &model = *lines_->model();
    if (!node || middle) {
        model.widen();
        return;
    }
    ExplorerSession::Lines through = session_.linesThrough(*node, middle);
    const LabelEncoding encoding = labelEncoding(session_.current()->controls.corpus);
    model.narrow(std::move(through.starts), labelString(node->writtenLabelPrefix(200), encoding));
}

void ExplorerWindow::refreshControls()
{
    refreshing_ = true;
    const ExplorerControls &controls = session_.controls();
    after_->setChecked(controls.direction == QueryDirection::After);
    before_->setChecked(controls.direction == QueryDirection::Before);
    both_->setChecked(controls.direction == QueryDirection::Both);
    ignoreCase_->setChecked(controls.corpus.foldCase);
    sentences_->setChecked(controls.sentences);
    const auto rules = static_cast<std::size_t>(controls.corpus.words);
    wordRuleActions_[rules]->setChecked(true);
    words_->setCurrentIndex(static_cast<int>(rules));
    refreshShowBox();
    const std::uint32_t depth = controls.pruning.maxDepth;
    depth_->setValue(depth > 9999 ? -1 : static_cast<int>(depth));
    minCount_->setValue(static_cast<int>(std::min<std::uint32_t>(controls.pruning.minCount, 1000000000)));
    refreshing_ = false;
}

void ExplorerWindow::refreshShowBox()
{
    const std::shared_ptr<const OpenedCorpus> &opened = session_.corpus();
    const bool annotated = opened && opened->corpus().annotated();
    if (opened != showOf_) {
        showOf_ = opened;
        show_->clear();
        if (annotated) {
            const Corpus &corpus = opened->corpus();
            for (std::size_t layer = 0; layer < corpus.layerCount(); ++layer)
                show_->addItem(QString::fromStdString(std::string(corpus.layerName(layer))));
        }
    }
    const QString wanted = QString::fromStdString(std::string(session_.controls().corpus.shownLayer()));
    if (show_->findText(wanted) < 0)
        show_->addItem(wanted);  // before any corpus, or a plain text's word layer
    show_->setCurrentIndex(show_->findText(wanted));
    show_->setEnabled(annotated && !opened->saved() && !session_.opening());
    if (annotated && opened->saved())
        show_->setToolTip(tr("%1 is a saved index: it shows the layer it was saved with").arg(corpusName()));
    else if (annotated)
        show_->setToolTip(tr("The layer whose values the tree shows, groups and searches"));
    else
        show_->setToolTip(tr("Only an annotated corpus (CoNLL-U or vertical files) has other layers to show"));
}

void ExplorerWindow::controlCorpusOptions()
{
    if (refreshing_)
        return;
    // The shown layer is the box's while it can be chosen, else the one the controls keep.
    CorpusOptions options = session_.controls().corpus;
    if (show_->isEnabled()) {
        const QString layer = show_->currentText();
        options.show = layer == QLatin1String("word") ? std::string() : layer.toStdString();
    }
    options.foldCase = ignoreCase_->isChecked();
    for (std::size_t i = 0; i < wordRuleActions_.size(); ++i) {
        if (wordRuleActions_[i]->isChecked())
            options.words = static_cast<WordRules>(i);
    }
    session_.setCorpusOptions(options);
}

void ExplorerWindow::controlPruning()
{
    if (refreshing_)
        return;
    TreePruning pruning;
    pruning.maxDepth = depth_->value() < 0 ? UINT32_MAX : static_cast<std::uint32_t>(depth_->value());
    pruning.minCount = static_cast<std::uint32_t>(minCount_->value());
    session_.setPruning(pruning);
}

void ExplorerWindow::completePhrase(const QString &text)
{
    QStringList found;
    QString typed;
    const QByteArray utf8 = text.toUtf8();
    const std::string_view bytes(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    completionSuffix_.clear();
    completingLayer_ = false;
    if (CqlPattern::looksLikePattern(bytes)) {
        const CqlPattern::Typing typing = CqlPattern::typingAt(bytes);
        completionStart_ = QString::fromUtf8(utf8.constData(), static_cast<qsizetype>(typing.from)).size();
        typed = text.mid(completionStart_);
        found = patternCompletions(typing, typed);
    } else {
        completionStart_ = text.size();
        while (completionStart_ > 0 && !text[completionStart_ - 1].isSpace())
            --completionStart_;
        typed = text.mid(completionStart_);
        const std::shared_ptr<const Vocabulary> &vocabulary = session_.vocabulary();
        if (vocabulary && !typed.isEmpty())
            found = vocabulary->complete(typed, completionLimit);
    }
    if (found.isEmpty() || (found.size() == 1 && found.front() == typed)) {
        completer_->popup()->hide();
        return;
    }
    completions_->setStringList(found);
    completer_->complete();
    // Nothing chosen until the user moves into the list: Return then searches what was typed.
    completer_->popup()->setCurrentIndex(QModelIndex());
}

QStringList ExplorerWindow::patternCompletions(const CqlPattern::Typing &typing, const QString &typed)
{
    const std::shared_ptr<const OpenedCorpus> &opened = session_.corpus();
    if (!opened || typing.kind == CqlPattern::Typing::Kind::Other)
        return {};
    const Corpus &corpus = opened->corpus();
    if (typing.kind == CqlPattern::Typing::Kind::Layer) {
        QStringList names;
        for (std::size_t layer = 0; layer < corpus.layerCount(); ++layer) {
            const QString name = QString::fromStdString(std::string(corpus.layerName(layer)));
            if (name.startsWith(typed))
                names.push_back(name);
        }
        completionSuffix_ = QStringLiteral("=\"");
        completingLayer_ = true;
        return names;
    }
    const std::size_t layer = corpus.findLayer(typing.layer);
    if (layer == Corpus::noLayer)
        return {};
    const std::shared_ptr<const Vocabulary> values = layer == corpus.shownLayer() ? session_.vocabulary()
                                                                                  : valuesOf(layer);
    completionSuffix_ = typing.inBrackets ? QStringLiteral("\"]") : QStringLiteral("\"");
    return values ? values->complete(typed, completionLimit) : QStringList();
}

std::shared_ptr<const Vocabulary> ExplorerWindow::valuesOf(std::size_t layer)
{
    // A pass over the positions: a few milliseconds below this many.
    constexpr Corpus::Position countedAtOnce = 4'000'000;
    const std::shared_ptr<const OpenedCorpus> opened = session_.corpus();
    if (opened != valuesOf_) {
        valuesOf_ = opened;
        layerValues_.assign(opened ? opened->corpus().layerCount() : 0, nullptr);
    }
    if (!opened || layer >= layerValues_.size() || layerValues_[layer])
        return layer < layerValues_.size() ? layerValues_[layer] : nullptr;
    if (opened->corpus().end() <= countedAtOnce) {
        layerValues_[layer] = std::make_shared<const Vocabulary>(opened->corpus(), layer);
        return layerValues_[layer];
    }
    // Counted once: a placeholder tells that it is under way.
    layerValues_[layer] = std::make_shared<const Vocabulary>();
    auto made = std::make_shared<std::shared_ptr<const Vocabulary>>();
    QThread *counter = QThread::create([opened, layer, made] {
        try {
            *made = std::make_shared<const Vocabulary>(opened->corpus(), layer);
        } catch (const std::bad_alloc &) {
            // No values to offer.
        }
    });
    counters_.emplace_back(counter);
    connect(counter, &QThread::finished, this, [this, counter, opened, layer, made] {
        counter->wait();
        std::erase_if(counters_, [counter](const std::unique_ptr<QThread> &c) { return c.get() == counter; });
        if (opened != valuesOf_ || !*made)
            return;
        layerValues_[layer] = *made;
        if (phrase_->hasFocus())
            completePhrase(phrase_->text());
    });
    counter->start();
    return layerValues_[layer];
}

QStringList ExplorerWindow::completions() const
{
    return completer_->popup()->isVisible() ? completions_->stringList() : QStringList();
}

void ExplorerWindow::takeCompletion(const QString &word)
{
    QString text = phrase_->text();
    text.truncate(std::min(completionStart_, text.size()));
    phrase_->setText(text + word + completionSuffix_);
    // A layer name chosen: its values are offered next.
    if (completingLayer_)
        completePhrase(phrase_->text());
}

void ExplorerWindow::addRecent(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    recent_.removeAll(absolute);
    recent_.prepend(absolute);
    while (recent_.size() > recentLimit)
        recent_.removeLast();
    rebuildRecentMenu();
    QSettings().setValue(QStringLiteral("recent"), recent_);
}

void ExplorerWindow::rebuildRecentMenu()
{
    recentMenu_->clear();
    for (const QString &path : recent_) {
        QAction *action = recentMenu_->addAction(path);
        connect(action, &QAction::triggered, this, [this, path] { openPath(path); });
    }
    recentMenu_->setEnabled(!recent_.isEmpty());
}

void ExplorerWindow::chooseFile()
{
    // Every file by default: a saved index is told by its first bytes,
    // whatever its name, and a text need not end in ".txt" (annotated files
    // are told by their names: .conllu, .vrt, .vert).
    const QString all = tr("All files (*)");
    QString selected = all;
    const QString folder =
        session_.corpus()
            ? QFileInfo(QFile::decodeName(QByteArray::fromStdString(session_.corpus()->request().path))).path()
            : QString();
    const QString path = QFileDialog::getOpenFileName(
        this, tr("Open File"), folder,
        all + QStringLiteral(";;")
            + tr("Texts, documents and annotated texts (*.txt *.md *.html *.htm *.xhtml *.xml *.docx *.odt *.epub "
                 "*.pdf *.conllu *.vrt *.vert *.gz);;Web pages (*.html *.htm *.xhtml);;XML and TEI (*.xml);;"
                 "Word, OpenDocument and e-books (*.docx *.odt *.epub);;PDF (*.pdf);;CoNLL-U files (*.conllu);;"
                 "Vertical files (*.vrt *.vert);;Saved indexes (*.index *.idx)"),
        &selected);
    openPath(path);
}

void ExplorerWindow::chooseFolder()
{
    openPath(QFileDialog::getExistingDirectory(this, tr("Open Folder")));
}

void ExplorerWindow::chooseExport(int kind)
{
    QString title, filter;
    switch (kind) {
    case PictureExport:
        title = tr("Export Picture");
        filter = tr("PNG picture (*.png);;SVG drawing (*.svg)");
        break;
    case TreeExport:
        title = tr("Export Tree");
        filter = tr("Outline (*.txt);;JSON (*.json)");
        break;
    default:
        title = tr("Export Lines");
        filter = tr("Tab-separated lines (*.tsv)");
        break;
    }
    QString selected;
    const QString suffix = kind == PictureExport ? QStringLiteral("png") : kind == TreeExport ? QStringLiteral("txt")
                                                                                                : QStringLiteral("tsv");
    QString path = QFileDialog::getSaveFileName(this, title, suggestedExportName(kind, suffix), filter, &selected);
    if (path.isEmpty())
        return;
    exportFolder_ = QFileInfo(path).path();
    // The suffix chooses the format; one from the chosen filter if none is typed.
    if (QFileInfo(path).suffix().isEmpty()) {
        const qsizetype star = selected.indexOf(QLatin1String("*."));
        if (star >= 0)
            path += selected.mid(star + 1, selected.indexOf(QLatin1Char(')'), star) - star - 1);
    }
    const bool written = kind == PictureExport ? exportPicture(path)
                         : kind == TreeExport  ? exportTree(path)
                                               : exportLines(path);
    if (written)
        setStatus(tr("Wrote %1.").arg(path));
}

QString ExplorerWindow::suggestedExportName(int kind, const QString &suffix) const
{
    // "CORPUS-PHRASE-lines.tsv" and the like, without what a file name cannot hold.
    QString name = corpusName();
    if (const ExplorerSession::Entry *entry = session_.current())
        name += QLatin1Char('-') + labelString(std::string_view(entry->phrase).substr(0, 200),
                                               labelEncoding(entry->controls.corpus));
    if (kind == LinesExport)
        name += QStringLiteral("-lines");
    else if (kind == TreeExport)
        name += QStringLiteral("-tree");
    QString safe;
    for (const QChar c : name.simplified()) {
        if (c.isSpace())
            safe += QLatin1Char('-');
        else if (c.isPrint() && !QStringLiteral("/\\:*?\"<>|").contains(c))
            safe += c;
    }
    safe = safe.left(80);
    if (safe.isEmpty() || safe.startsWith(QLatin1Char('.')))
        safe.prepend(QStringLiteral("tree"));
    const QString folder = !exportFolder_.isEmpty() ? exportFolder_ : QDir::homePath();
    return QDir(folder).filePath(safe + QLatin1Char('.') + suffix);
}

bool ExplorerWindow::exportPicture(const QString &path)
{
    const QueryAnswer *answer = canvas_->answer();
    if (!answer) {
        setStatus(tr("There is no tree to export."));
        return false;
    }
    const bool written = canvas_->writePicture(path);
    if (!written)
        setStatus(tr("Cannot write the picture %1.").arg(path));
    return written;
}

bool ExplorerWindow::exportTree(const QString &path)
{
    const QueryAnswer *answer = canvas_->answer();
    if (!answer) {
        setStatus(tr("There is no tree to export."));
        return false;
    }
    TreeFormat format;
    format.pruning = session_.controls().pruning;
    format.encoding = labelEncoding(session_.current()->controls.corpus);
    // A pattern's forms, as the command's JSON gives them.
    format.forms = answer->forms;
    const bool json = QFileInfo(path).suffix().compare(QLatin1String("json"), Qt::CaseInsensitive) == 0;
    const bool written = writeFile(path, [&](OutputBuffer &output) {
        writeTrees(answer->backward.get(), answer->forward.get(), format, json, output);
    });
    if (!written)
        setStatus(tr("Cannot write the tree %1.").arg(path));
    return written;
}

bool ExplorerWindow::exportLines(const QString &path)
{
    if (!session_.current() || !session_.current()->found()) {
        setStatus(tr("There are no lines to export."));
        return false;
    }
    // The rows as the pane shows them (made now if it is hidden).
    refreshLines(true);
    // A million lines take a second: they are written on a thread of their
    // own while the window goes on painting (but takes no input meanwhile).
    const std::function<bool(QIODevice &)> write = lines_->model()->tsvWriter();
    bool written = false;
    QString reason;
    std::unique_ptr<QThread> writer(QThread::create([&] {
        QSaveFile file(path);
        written = file.open(QIODevice::WriteOnly) && write(file) && file.commit();
        if (!written)
            reason = file.errorString();
    }));
    QEventLoop waiting;
    connect(writer.get(), &QThread::finished, &waiting, &QEventLoop::quit);
    setStatus(tr("Writing the lines to %1…").arg(path));
    writer->start();
    waiting.exec(QEventLoop::ExcludeUserInputEvents);
    writer->wait();
    if (!written)
        setStatus(tr("Cannot write the lines %1: %2").arg(path, reason));
    return written;
}

void ExplorerWindow::copyPicture()
{
    const QImage image = canvas_->picture();
    if (!image.isNull())
        QGuiApplication::clipboard()->setImage(image);
}

void ExplorerWindow::about()
{
    QMessageBox::about(this, tr("About Morvanet Explorer"),
                       tr("<h3>Morvanet Explorer %1</h3>"
                          "<p>Explore the word trees of a text or a folder of texts: what follows a phrase, "
                          "what precedes it, or both, with the lines it occurs in.</p>"
                          "<p>Licensed under the GNU General Public License, version 3 or (at your option) "
                          "any later version (GPL-3.0-or-later).</p>")
                           .arg(QStringLiteral(MORVANET_VERSION)));
}

void ExplorerWindow::showManual()
{
    // One window, brought forward when asked again.
    if (auto *shown = findChild<QDialog *>(QStringLiteral("manual"))) {
        shown->show();
        shown->raise();
        shown->activateWindow();
        return;
    }
    auto *dialog = new QDialog(this);
    dialog->setObjectName(QStringLiteral("manual"));
    dialog->setWindowTitle(tr("Morvanet Explorer Manual"));
    auto *text = new QTextBrowser(dialog);
    QFile manual(QStringLiteral(":/manual/manual.txt"));
    text->setPlainText(manual.open(QIODevice::ReadOnly) ? QString::fromUtf8(manual.readAll())
                                                        : tr("The manual is missing from this build."));
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto *layout = new QVBoxLayout(dialog);
    layout->addWidget(text);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
    layout->addWidget(buttons);
    const int columns = QFontMetrics(text->font()).horizontalAdvance(QLatin1Char('m')) * 84;
    dialog->resize(columns, 640);
    dialog->show();
}

void ExplorerWindow::closeEvent(QCloseEvent *event)
{
    writeSettings();
    // A load under way stops; the loader waits for it as it goes.
    opener_.cancel();
    event->accept();
}

void ExplorerWindow::dragEnterEvent(QDragEnterEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.front().isLocalFile())
        event->acceptProposedAction();
}

void ExplorerWindow::dropEvent(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.front().isLocalFile())
        return;
    event->acceptProposedAction();
    openPath(urls.front().toLocalFile());
}
