// ExplorerWindow: the explorer's main window: menus, tool bar, phrase line, canvas and status bar over one session.
#pragma once

#include "CorpusOpener.h"
#include "DocumentsPane.h"
#include "CqlPattern.h"
#include "ExplorerControls.h"
#include "ExplorerSession.h"
#include "TreeCanvas.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QActionGroup;
class QComboBox;
class QDockWidget;
class QCompleter;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QSpinBox;
class QStringListModel;
class QThread;
class QToolButton;
class LinesPane;
class TextPane;

// The window turns what the user does into calls of its session and loader
// and shows what they hold; it computes nothing of its own. Under the
// canvas a dock lists the current tree's lines; a second dock shows the
// text around a line that is opened. Settings
// (geometry, docks, controls, recent corpora) are read from and written to
// the application's QSettings.
class ExplorerWindow : public QMainWindow {
    Q_OBJECT
public:
    // `controls` is the controls' starting state.
    explicit ExplorerWindow(const ExplorerControls &controls, QWidget *parent = nullptr);
    ~ExplorerWindow() override;

    // Opens a file, folder or saved index in the background (stopping a
    // load under way); `phrase`, if given, is searched once it is loaded,
    // else the phrase line's text, if any.
    void openPath(const QString &path, const std::optional<std::string> &phrase = std::nullopt);
    // Searches the phrase as the phrase line would. A phrase that cannot be
    // asked under the word rules (no words under the byte rules, say) is
    // explained on the canvas instead.
    void search(const QString &phrase);
    // Writes what the export commands write; false (with the reason in the
    // status bar) when there is nothing to write or it cannot be written.
    bool exportPicture(const QString &path);
    bool exportTree(const QString &path);
    bool exportLines(const QString &path);

    ExplorerSession &session() { return session_; }
    CorpusOpener &opener() { return opener_; }
    TreeCanvas &canvas() { return *canvas_; }
    LinesPane &linesPane() { return *lines_; }
    TextPane &textPane() { return *text_; }
    DocumentsPane &documentsPane() { return *documents_; }
    QLineEdit &phraseLine() { return *phrase_; }
    // The Show box: the open corpus's layers, the shown one current.
    QComboBox &showBox() { return *show_; }
    // What the phrase line's completion list offers now (empty when it is closed).
    QStringList completions() const;
    // The status bar's message, and the summary of the open corpus beside it.
    QString statusText() const;
    QString summaryText() const;
    QStringList recentPaths() const { return recent_; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void makeActions();
    void makeMenus();
    void makeToolBar();
    void makeStatusBar();
    void readSettings();
    void writeSettings() const;
    void refresh();
    // The lines pane shows the current entry's occurrences, all of them or
    // those through the selected label; while the pane is hidden, only
    // when `evenHidden`.
    void refreshLines(bool evenHidden = false);
    void showLinesOf(const PhraseNode *node, bool middle);
    // Lists the continuations a left-out entry stands for; choosing one follows it.
    void listLeftOut(const PhraseNode *node, std::uint32_t more, QPoint where);
    void refreshControls();
    void updateTitle();
    void showLoaded();
    void setStatus(const QString &text);
    // What the canvas says in place of the current entry's tree, if anything.
    QString noticeFor(const ExplorerSession::Entry *entry) const;
    // The canvas's note on a phrase that has no words or marks under the word rules.
    QString noWordsNotice(const QString &phrase) const;
    void followNoticeLink(const QString &link);
    // The name an export of `kind` suggests, in the folder used last.
    QString suggestedExportName(int kind, const QString &suffix) const;
    void addRecent(const QString &path);
    void rebuildRecentMenu();
    void completePhrase(const QString &text);
    void takeCompletion(const QString &word);
    // What completes a pattern being typed: layer names, or the values of
    // the layer a string tests, those starting with `typed`.
    QStringList patternCompletions(const CqlPattern::Typing &typing, const QString &typed);
    // The values of the open corpus's layer `layer` with their counts,
    // counted when first asked for: at once for a small corpus, else on a
    // thread of their own (null until they are there; the completion is
    // offered again then).
    std::shared_ptr<const Vocabulary> valuesOf(std::size_t layer);
    // Lists the open corpus's layers in the Show box, the controls' one current.
    void refreshShowBox();
    void controlCorpusOptions();
    void controlPruning();
    void chooseFile();
    void chooseFolder();
    void chooseExport(int kind);
    void copyPicture();
    void about();
    void showManual();
    QString corpusName() const;

    ExplorerSession session_;
    CorpusOpener opener_;
    TreeCanvas *canvas_ = nullptr;
    LinesPane *lines_ = nullptr;
    TextPane *text_ = nullptr;
    QDockWidget *linesDock_ = nullptr;
    QDockWidget *textDock_ = nullptr;
    DocumentsPane *documents_ = nullptr;
    QDockWidget *documentsDock_ = nullptr;
    // What the documents pane shows, to fill it again only when it changes.
    const OpenedCorpus *documentsOf_ = nullptr;
    const DocumentSubset *documentsWithin_ = nullptr;
    QLineEdit *phrase_ = nullptr;
    QCompleter *completer_ = nullptr;
    QStringListModel *completions_ = nullptr;
    QComboBox *words_ = nullptr;
    QComboBox *show_ = nullptr;
    QSpinBox *depth_ = nullptr;
    QSpinBox *minCount_ = nullptr;
    QLabel *status_ = nullptr;
    QLabel *summary_ = nullptr;
    QProgressBar *progress_ = nullptr;
    QToolButton *cancel_ = nullptr;
    QMenu *recentMenu_ = nullptr;
    QAction *openFile_ = nullptr;
    QAction *openFolder_ = nullptr;
    QAction *exportPicture_ = nullptr;
    QAction *exportTree_ = nullptr;
    QAction *exportLines_ = nullptr;
    QAction *quit_ = nullptr;
    QAction *copy_ = nullptr;
    QAction *find_ = nullptr;
    QAction *after_ = nullptr;
    QAction *before_ = nullptr;
    QAction *both_ = nullptr;
    QAction *ignoreCase_ = nullptr;
    QAction *sentences_ = nullptr;
    // One per WordRules value, in its order.
    std::array<QAction *, 3> wordRuleActions_{};
    QAction *back_ = nullptr;
    QAction *forward_ = nullptr;
    QAction *zoomIn_ = nullptr;
    QAction *zoomOut_ = nullptr;
    QAction *zoomFit_ = nullptr;
    QAction *cancelLoad_ = nullptr;
    QAction *about_ = nullptr;
    QAction *manual_ = nullptr;
    QActionGroup *directions_ = nullptr;
    QActionGroup *labelScales_ = nullptr;
    QAction *phraseScale_ = nullptr;
    QAction *corpusScale_ = nullptr;
    QActionGroup *wordRules_ = nullptr;
    QStringList recent_;
    QString exportFolder_;
    bool refreshing_ = false;
    // What the canvas shows, to redraw only when it changes: the serial of
    // the answer drawn (0: none), its pruning, and the note shown instead.
    std::uint64_t shownSerial_ = 0;
    TreePruning shownPruning_;
    QString shownNotice_;
    // A note of the window's own over the canvas (a phrase that could not be
    // asked), until the session changes.
    QString windowNotice_;
    // The serial of the answer whose phrase the phrase line shows.
    std::uint64_t phraseSerial_ = 0;
    // The serial of the answer whose occurrences the lines pane lists.
    std::uint64_t linesSerial_ = 0;
    // The most frequent words of the open corpus, offered on an empty canvas.
    QStringList frequentWords_;
    std::shared_ptr<const Vocabulary> frequentOf_;
    // The corpus whose layers the Show box lists.
    std::shared_ptr<const OpenedCorpus> showOf_;
    // The completion offered: the part of the line it replaces (from
    // completionStart_ to the end), and what a chosen entry is followed by.
    qsizetype completionStart_ = 0;
    QString completionSuffix_;
    bool completingLayer_ = false;
    // Per layer of valuesOf_'s corpus, its values once counted, and the
    // threads counting them.
    std::shared_ptr<const OpenedCorpus> valuesOf_;
    std::vector<std::shared_ptr<const Vocabulary>> layerValues_;
    std::vector<std::unique_ptr<QThread>> counters_;
};

// The controls as the last window left them in the application's settings.
ExplorerControls savedExplorerControls();
