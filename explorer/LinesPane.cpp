#include "LinesPane.h"

#include "ConcordanceModel.h"
#include "LayerTip.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QStyle>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>

namespace {

// Cuts each column where it is read from: the left context and the
// location keep their ends (the words at the phrase, the line number), the
// others their starts.
class ConcordanceDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const int column = index.column();
        option->textElideMode = column == ConcordanceModel::LeftColumn || column == ConcordanceModel::LocationColumn
                                    ? Qt::ElideLeft
                                    : Qt::ElideRight;
    }
};

// A label, shortened for the count line.
QString shortLabel(const QString &label)
{
    constexpr qsizetype most = 60;
    return label.size() <= most ? label : label.left(most - 1) + QChar(0x2026);
}

}  // namespace

LinesPane::LinesPane(QWidget *parent)
    : QWidget(parent), model_(new ConcordanceModel(this)), view_(new QTableView(this)), order_(new QComboBox(this)),
      count_(new QLabel(this)), showAll_(new QToolButton(this))
{
    showAll_->setText(tr("Show &All"));
    showAll_->setToolTip(tr("Show the lines of every occurrence again"));
    showAll_->hide();
    connect(showAll_, &QToolButton::clicked, this, [this] {
        model_->widen();
        emit widened();
    });
    order_->addItem(tr("Text order"), static_cast<int>(ConcordanceModel::Order::Text));
    order_->addItem(tr("Left word"), static_cast<int>(ConcordanceModel::Order::LeftWord));
    order_->addItem(tr("Right word"), static_cast<int>(ConcordanceModel::Order::RightWord));
    order_->setToolTip(tr("Order the lines by their place in the text, or by the words before or after the phrase, the nearest first"));
    auto *orderLabel = new QLabel(tr("&Sort:"), this);
    orderLabel->setBuddy(order_);

    view_->setModel(model_);
    view_->setItemDelegate(new ConcordanceDelegate(view_));
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setSelectionMode(QAbstractItemView::SingleSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setWordWrap(false);
    view_->setShowGrid(false);
    view_->setAlternatingRowColors(true);
    view_->setTabKeyNavigation(false);
    view_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    // One fixed height for every row: a million rows cost no measuring.
    QHeaderView *rows = view_->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(view_->fontMetrics().height() + 6);
    rows->hide();
    QHeaderView *columns = view_->horizontalHeader();
    columns->setStretchLastSection(false);
    columns->setSectionResizeMode(ConcordanceModel::LocationColumn, QHeaderView::Interactive);
    columns->setSectionResizeMode(ConcordanceModel::LeftColumn, QHeaderView::Stretch);
    columns->setSectionResizeMode(ConcordanceModel::PhraseColumn, QHeaderView::Interactive);
    columns->setSectionResizeMode(ConcordanceModel::RightColumn, QHeaderView::Stretch);
    columns->setHighlightSections(false);
    view_->installEventFilter(this);
    view_->viewport()->installEventFilter(this);

    auto *top = new QHBoxLayout;
    top->addWidget(count_, 1);
    top->addWidget(showAll_);
    top->addWidget(orderLabel);
    top->addWidget(order_);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(top);
    layout->addWidget(view_, 1);

    connect(order_, &QComboBox::currentIndexChanged, this, [this](int index) {
        model_->setOrder(static_cast<ConcordanceModel::Order>(order_->itemData(index).toInt()));
    });
    connect(model_, &ConcordanceModel::rowsChanged, this, [this] {
        updateCount();
        fitColumns();
    });
    connect(model_, &ConcordanceModel::orderChanged, this, [this] {
        const QSignalBlocker quiet(order_);
        order_->setCurrentIndex(order_->findData(static_cast<int>(model_->order())));
    });
    connect(view_, &QAbstractItemView::doubleClicked, this, &LinesPane::activate);
    updateCount();
}

QString LinesPane::countText() const
{
    return count_->text();
}

bool LinesPane::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == view_->viewport() && event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex index = view_->indexAt(help->pos());
        if (!index.isValid()) {
            QToolTip::hideText();
            return true;
        }
        QString tip = index.data(Qt::ToolTipRole).toString();
        if (const std::optional<std::uint32_t> p = tokenUnder(index, help->pos().x())) {
            const QString layers = layerTip(model_->opened()->corpus(), *p);
            if (!layers.isEmpty())
                tip += QLatin1Char('\n') + layers;
        }
        QToolTip::showText(help->globalPos(), tip, view_->viewport(), view_->visualRect(index));
        return true;
    }
    if (watched == view_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            activate(view_->currentIndex());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void LinesPane::updateCount()
{
    const QLocale locale;
    const auto shown = static_cast<qulonglong>(model_->shownCount());
    const auto total = static_cast<qulonglong>(model_->totalCount());
    showAll_->setVisible(model_->isNarrowed());
    if (!model_->opened())
        count_->setText(tr("No lines"));
    else if (model_->isNarrowed())
        count_->setText(tr("%1 of %2 lines through \u201C%3\u201D")
                            .arg(locale.toString(shown), locale.toString(total), shortLabel(model_->narrowLabel())));
    else if (total == 1)
        count_->setText(tr("1 line"));
    else
        count_->setText(tr("%1 lines").arg(locale.toString(total)));
}

void LinesPane::fitColumns()
{
    // From the first rows only: measuring every row would cost what a
    // million rows cost.
    const QFontMetrics metrics = view_->fontMetrics();
    QFont bold = view_->font();
    bold.setBold(true);
    const QFontMetrics boldMetrics(bold);
    const int rows = std::min(model_->rowCount(), 50);
    int location = metrics.horizontalAdvance(model_->headerData(0, Qt::Horizontal).toString());
    int phrase = metrics.horizontalAdvance(model_->headerData(2, Qt::Horizontal).toString());
    // Room for a few more digits than the first rows' line numbers have.
    const int digits = metrics.horizontalAdvance(QStringLiteral("000"));
    for (int row = 0; row < rows; ++row) {
        location = std::max(location, metrics.horizontalAdvance(model_->location(row)) + digits);
        phrase = std::max(phrase, boldMetrics.horizontalAdvance(
                                      model_->index(row, ConcordanceModel::PhraseColumn).data().toString()));
    }
    const int padding = 2 * metrics.averageCharWidth() + 8;
    const int room = std::max(view_->viewport()->width(), 400);
    QHeaderView *columns = view_->horizontalHeader();
    columns->resizeSection(ConcordanceModel::LocationColumn, std::min(location + padding, room / 4));
    columns->resizeSection(ConcordanceModel::PhraseColumn, std::min(phrase + padding, room / 3));
}

std::optional<std::uint32_t> LinesPane::tokenUnder(const QModelIndex &index, int x) const
{
    const int column = index.column();
    if (!model_->opened() || !model_->opened()->corpus().annotated() || column == ConcordanceModel::LocationColumn)
        return std::nullopt;
    const QString text = index.data().toString();
    QFont font = view_->font();
    font.setBold(column == ConcordanceModel::PhraseColumn);
    const QFontMetrics metrics(font);
    const int margin = view_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view_) + 1;
    const QRect cell = view_->visualRect(index).adjusted(margin, 0, -margin, 0);
    const int width = metrics.horizontalAdvance(text);
    // The left context is aligned right (a cut start leaves the rest where
    // it is), the phrase centred when it fits, the right context left.
    const int left = column == ConcordanceModel::LeftColumn ? cell.right() + 1 - width
                     : column == ConcordanceModel::PhraseColumn && width < cell.width()
                         ? cell.left() + (cell.width() - width) / 2
                         : cell.left();
    const int dx = x - left;
    if (dx < 0 || dx >= width)
        return std::nullopt;
    // The first character whose end lies past the pointer.
    qsizetype low = 0, high = text.size() - 1;
    while (low < high) {
        const qsizetype middle = (low + high) / 2;
        if (metrics.horizontalAdvance(text.left(middle + 1)) > dx)
            high = middle;
        else
            low = middle + 1;
    }
    return model_->tokenAt(index.row(), column, low);
}

void LinesPane::activate(const QModelIndex &index)
{
    if (index.isValid())
        emit lineActivated(model_->line(index.row()));
}
