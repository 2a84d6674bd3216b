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
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
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
#include <QToolBar>
#include <QThread>
#include <QToolButton>

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

// Writes with the tool's writers into a file; false if it cannot be opened or written.
template <typename Write>
bool writeFile(const QString &path, Write &&write)
{
    std::FILE *file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!file)
        return false;
    bool ok;
    {
        OutputBuffer output(file);
        write(output);
        ok = output.finish();
    }
    return std::fclose(file) == 0 && ok;
}

}  // namespace

ExplorerWindow::ExplorerWindow(const ExplorerControls &controls, QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("ExplorerWindow"));
    canvas_ = new TreeCanvas(this);
    canvas_->setObjectName(QStringLiteral("canvas"));
    setCentralWidget(canvas_);
    lines_ = new LinesPane(this);
    lines_->setObjectName(QStringLiteral("lines"));
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
    makeActions();
    makeMenus();
    makeToolBar();
    makeStatusBar();
    setAcceptDrops(true);
    resize(1100, 760);
    readSettings();
    session_.setControls(controls);

    connect(&session_, &ExplorerSession::changed, this, &ExplorerWindow::refresh);
    connect(&session_, &ExplorerSession::failed, this, &ExplorerWindow::setStatus);
    connect(&session_, &ExplorerSession::reindexWanted, this, [this](const CorpusRequest &request) {
        loadingPath_ = QFile::decodeName(QByteArray::fromStdString(request.path));
        loader_.start(request);
        setStatus(tr("Indexing %1 again…").arg(QFileInfo(loadingPath_).fileName()));
    });
    connect(&loader_, &CorpusLoader::progressed, this, [this](const QString &what, qint64 done, qint64 total) {
        progress_->show();
        cancel_->show();
        if (total > 0) {
            progress_->setRange(0, 1000);
            progress_->setValue(static_cast<int>(1000 * static_cast<double>(done) / static_cast<double>(total)));
        } else {
            progress_->setRange(0, 0);
        }
        const QLocale locale;
        status_->setText(total > 0 ? tr("%1 — %2 of %3").arg(what, locale.formattedDataSize(done),
                                                             locale.formattedDataSize(total))
                                   : what);
    });
    connect(&loader_, &CorpusLoader::loaded, this,
            [this](std::shared_ptr<const OpenedCorpus> corpus, std::shared_ptr<const Vocabulary> vocabulary,
                   const QString &warning) {
                progress_->hide();
                cancel_->hide();
                addRecent(QFile::decodeName(QByteArray::fromStdString(corpus->request().path)));
                if (pendingPhrase_) {
                    session_.setPendingPhrase(std::move(*pendingPhrase_));
                    pendingPhrase_.reset();
                }
                loadedStatus_.clear();
                session_.setCorpus(std::move(corpus), std::move(vocabulary));
                showLoaded();
                if (!warning.isEmpty())
                    setStatus(statusText() + QStringLiteral(" — ") + warning);
            });
    connect(&loader_, &CorpusLoader::failed, this, [this](const QString &reason) {
        progress_->hide();
        cancel_->hide();
        pendingPhrase_.reset();
        session_.revertCorpusControls();
        setStatus(tr("Cannot open %1: %2").arg(QFileInfo(loadingPath_).fileName(), reason));
    });
    connect(&loader_, &CorpusLoader::cancelled, this, [this] {
        progress_->hide();
        cancel_->hide();
        pendingPhrase_.reset();
        session_.revertCorpusControls();
        setStatus(tr("Loading stopped."));
    });
    connect(canvas_, &TreeCanvas::searchRequested, this, [this](const PhraseNode *node, bool middle) {
        session_.askNode(*node, middle);
    });
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
    refresh();
}

ExplorerWindow::~ExplorerWindow() = default;

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
    connect(cancelLoad_, &QAction::triggered, &loader_, &CorpusLoader::cancel);
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
    view->addAction(linesDock_->toggleViewAction());
    view->addAction(textDock_->toggleViewAction());

    QMenu *help = menuBar()->addMenu(tr("&Help"));
    help->addAction(about_);
}

void ExplorerWindow::makeToolBar()
{
    QToolBar *bar = addToolBar(tr("Question"));
    bar->setObjectName(QStringLiteral("questionBar"));
    bar->setMovable(false);
    bar->addAction(back_);
    bar->addAction(forward_);
    phrase_ = new QLineEdit(bar);
    phrase_->setObjectName(QStringLiteral("phrase"));
    phrase_->setPlaceholderText(tr("Phrase to search, then Return"));
    phrase_->setClearButtonEnabled(true);
    phrase_->setMinimumWidth(220);
    bar->addWidget(phrase_);
    connect(phrase_, &QLineEdit::returnPressed, this, [this] {
        if (completer_->popup()->isVisible())
            return;
        search(phrase_->text());
    });
    completions_ = new QStringListModel(this);
    completer_ = new QCompleter(completions_, this);
    completer_->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
    completer_->setCaseSensitivity(Qt::CaseSensitive);
    completer_->setWidget(phrase_);
    connect(phrase_, &QLineEdit::textEdited, this, &ExplorerWindow::completePhrase);
    connect(completer_, qOverload<const QString &>(&QCompleter::activated), this, &ExplorerWindow::takeCompletion);

    bar->addSeparator();
    bar->addActions(directions_->actions());
    bar->addSeparator();
    bar->addAction(ignoreCase_);
    words_ = new QComboBox(bar);
    words_->setObjectName(QStringLiteral("wordRules"));
    words_->setToolTip(tr("How the text is cut into words"));
    // In the order of WordRules, as the menu's actions.
    words_->addItem(tr("Byte words"));
    words_->addItem(tr("Unicode words"));
    words_->addItem(tr("Segmented words"));
    bar->addWidget(words_);
    connect(words_, qOverload<int>(&QComboBox::activated), this, [this](int index) {
        wordRuleActions_[static_cast<std::size_t>(index)]->setChecked(true);
        controlCorpusOptions();
    });
    bar->addSeparator();
    bar->addWidget(new QLabel(tr(" Depth "), bar));
    depth_ = new QSpinBox(bar);
    depth_->setObjectName(QStringLiteral("depth"));
    depth_->setRange(-1, 9999);
    depth_->setSpecialValueText(tr("all"));
    depth_->setToolTip(tr("Leave out nodes more than this many levels below the phrase"));
    bar->addWidget(depth_);
    bar->addWidget(new QLabel(tr(" Min count "), bar));
    minCount_ = new QSpinBox(bar);
    minCount_->setObjectName(QStringLiteral("minCount"));
    minCount_->setRange(0, 1000000000);
    minCount_->setToolTip(tr("Leave out nodes that stand for fewer occurrences"));
    bar->addWidget(minCount_);
    connect(depth_, qOverload<int>(&QSpinBox::valueChanged), this, &ExplorerWindow::controlPruning);
    connect(minCount_, qOverload<int>(&QSpinBox::valueChanged), this, &ExplorerWindow::controlPruning);
}

void ExplorerWindow::makeStatusBar()
{
    status_ = new QLabel(statusBar());
    status_->setObjectName(QStringLiteral("status"));
    status_->setTextFormat(Qt::PlainText);
    statusBar()->addWidget(status_, 1);
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
    setStatus(tr("Open a text or a folder of texts (File > Open), or drop one here."));
}

void ExplorerWindow::readSettings()
{
    QSettings settings;
    recent_ = settings.value(QStringLiteral("recent")).toStringList();
    while (recent_.size() > recentLimit)
        recent_.removeLast();
    rebuildRecentMenu();
    restoreGeometry(settings.value(QStringLiteral("window/geometry")).toByteArray());
    restoreState(settings.value(QStringLiteral("window/state")).toByteArray());
}

void ExplorerWindow::writeSettings() const
{
    QSettings settings;
    settings.setValue(QStringLiteral("window/geometry"), saveGeometry());
    settings.setValue(QStringLiteral("window/state"), saveState());
    const ExplorerControls &controls = session_.controls();
    settings.setValue(QStringLiteral("controls/direction"), directionKey(controls.direction));
    settings.setValue(QStringLiteral("controls/ignoreCase"), controls.corpus.foldCase);
    settings.setValue(QStringLiteral("controls/words"), wordRulesKey(controls.corpus.words));
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
    controls.corpus.words = wordRulesOf(settings.value(QStringLiteral("controls/words")).toString());
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
    loadingPath_ = path;
    pendingPhrase_ = phrase;
    loader_.start(session_.requestFor(localPath(path)));
    progress_->setRange(0, 0);
    progress_->show();
    cancel_->show();
    setStatus(tr("Opening %1…").arg(QFileInfo(path).fileName()));
}

std::string ExplorerWindow::phraseBytes(const QString &text) const
{
    const CorpusOptions &options = session_.controls().corpus;
    return options.utf8() ? text.toStdString() : text.toLatin1().toStdString();
}

void ExplorerWindow::search(const QString &phrase)
{
    completer_->popup()->hide();
    if (session_.ask(phraseBytes(phrase)))
        showLoaded();
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
    if (!opened)
        return;
    const QLocale locale;
    const Corpus &corpus = opened->corpus();
    const std::size_t files = opened->documentCount();
    QString text = files == 1 ? tr("1 file") : tr("%1 files").arg(locale.toString(static_cast<qulonglong>(files)));
    text += tr(", %1, %2 tokens, loaded in %3 s")
                .arg(locale.formattedDataSize(static_cast<qint64>(opened->bytesRead())),
                     locale.toString(static_cast<qulonglong>(corpus.tokenCount())),
                     locale.toString(opened->loadSeconds(), 'f', 2));
    if (opened->cut())
        text += tr("; read %1 of %2")
                    .arg(locale.formattedDataSize(static_cast<qint64>(opened->bytesRead())),
                         locale.formattedDataSize(static_cast<qint64>(opened->bytesAvailable())));
    setStatus(text);
}

void ExplorerWindow::setStatus(const QString &text)
{
    status_->setText(text);
}

QString ExplorerWindow::statusText() const
{
    return status_->text();
}

void ExplorerWindow::refresh()
{
    refreshControls();
    updateTitle();
    const ExplorerSession::Entry *entry = session_.current();
    const QueryAnswer *answer = entry ? entry->answer.get() : nullptr;
    const TreePruning pruning = session_.controls().pruning;
    if (answer != shownAnswer_ || pruning.maxDepth != shownPruning_.maxDepth
        || pruning.minCount != shownPruning_.minCount) {
        canvas_->showAnswer(entry ? entry->answer : nullptr, entry ? entry->corpus : nullptr, pruning);
        shownAnswer_ = answer;
        shownPruning_ = pruning;
    }
    if (entry && !phrase_->hasFocus()) {
        const LabelEncoding encoding = labelEncoding(entry->controls.corpus);
        phrase_->setText(labelString(std::string_view(entry->phrase).substr(0, 1000), encoding));
    }
    refreshLines();
    back_->setEnabled(session_.canGoBack());
    forward_->setEnabled(session_.canGoForward());
    const bool shown = answer != nullptr;
    exportPicture_->setEnabled(shown);
    exportTree_->setEnabled(shown);
    exportLines_->setEnabled(shown);
    copy_->setEnabled(shown);
}

void ExplorerWindow::refreshLines(bool evenHidden)
{
    const ExplorerSession::Entry *entry = session_.current();
    const QueryAnswer *answer = entry ? entry->answer.get() : nullptr;
    // Made when they can be seen: a hidden pane costs no search.
    if (answer == linesAnswer_ || (answer && linesDock_->isHidden() && !evenHidden))
        return;
    linesAnswer_ = answer;
    ConcordanceModel &model = *lines_->model();
    if (!answer) {
        model.clear();
        return;
    }
    ExplorerSession::Lines lines = session_.lines();
    model.setOccurrences(entry->corpus, std::move(lines.starts), lines.length);
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
    model.narrow(std::move(through.starts), labelString(node->labelPrefix(200), encoding));
}

void ExplorerWindow::refreshControls()
{
    refreshing_ = true;
    const ExplorerControls &controls = session_.controls();
    after_->setChecked(controls.direction == QueryDirection::After);
    before_->setChecked(controls.direction == QueryDirection::Before);
    both_->setChecked(controls.direction == QueryDirection::Both);
    ignoreCase_->setChecked(controls.corpus.foldCase);
    const auto rules = static_cast<std::size_t>(controls.corpus.words);
    wordRuleActions_[rules]->setChecked(true);
    words_->setCurrentIndex(static_cast<int>(rules));
    const std::uint32_t depth = controls.pruning.maxDepth;
    depth_->setValue(depth > 9999 ? -1 : static_cast<int>(depth));
    minCount_->setValue(static_cast<int>(std::min<std::uint32_t>(controls.pruning.minCount, 1000000000)));
    refreshing_ = false;
}

void ExplorerWindow::controlCorpusOptions()
{
    if (refreshing_)
        return;
    CorpusOptions options;
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
    const std::shared_ptr<const Vocabulary> &vocabulary = session_.vocabulary();
    qsizetype start = text.size();
    while (start > 0 && !text[start - 1].isSpace())
        --start;
    const QString word = text.mid(start);
    const QStringList found = vocabulary ? vocabulary->complete(word, completionLimit) : QStringList();
    if (found.isEmpty() || (found.size() == 1 && found.front() == word)) {
        completer_->popup()->hide();
        return;
    }
    completions_->setStringList(found);
    completer_->complete();
}

void ExplorerWindow::takeCompletion(const QString &word)
{
    QString text = phrase_->text();
    qsizetype start = text.size();
    while (start > 0 && !text[start - 1].isSpace())
        --start;
    text.truncate(start);
    phrase_->setText(text + word);
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
    const QString path = QFileDialog::getOpenFileName(this, tr("Open File"), QString(),
                                                      tr("Texts and saved indexes (*.txt *.index);;All files (*)"));
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
    QString path = QFileDialog::getSaveFileName(this, title, QString(), filter, &selected);
    if (path.isEmpty())
        return;
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
    format.utf8 = session_.current()->controls.corpus.utf8();
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
    if (!session_.current() || !session_.current()->answer) {
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

void ExplorerWindow::closeEvent(QCloseEvent *event)
{
    writeSettings();
    // A load under way stops; the loader waits for it as it goes.
    loader_.cancel();
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
