#include "ccalendarview.h"

#include "pixmaputil.h"

#include <QItemSelection>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>

namespace {

constexpr int kWeeks = 6;
constexpr int kDaysPerWeek = 7;
// The earliest date the toolkit's date editors accept; also the calendar's default bounds.
const QDate kMinimumDate(100, 1, 1);
const QDate kMaximumDate(9999, 12, 31);

QString ImagePath(const char *name)
{
    return QStringLiteral(":/images/public/Calendar/%1.png").arg(QLatin1String(name));
}

// Draws a skin image stretched over rect; false when the skin lacks it.
bool DrawImage(QPainter *painter, const QRect &rect, const char *name)
{
    const QPixmap pixmap = LoadCachedPixmap(ImagePath(name));
    if (pixmap.isNull())
        return false;
    painter->drawPixmap(rect, pixmap);
    return true;
}

void DrawCentredText(QPainter *painter, const QRect &rect, const QModelIndex &index,
                     const QStyleOptionViewItem &option, const QColor &fallbackColour)
{
    const QVariant font = index.data(Qt::FontRole);
    const QVariant colour = index.data(Qt::ForegroundRole);
    painter->save();
    painter->setFont(font.isValid() ? font.value<QFont>() : option.font);
    painter->setPen(colour.isValid() ? colour.value<QColor>() : fallbackColour);
    painter->drawText(rect, Qt::AlignCenter, index.data(Qt::DisplayRole).toString());
    painter->restore();
}

} // namespace

// ---- CCalendarModel ----

CCalendarModel::CCalendarModel(QObject *parent)
    : QAbstractTableModel(parent)
    , m_date(QDate::currentDate())
    , m_minimumDate(kMinimumDate)
    , m_maximumDate(kMaximumDate)
    , m_shownYear(m_date.year())
    , m_shownMonth(m_date.month())
{
}

int CCalendarModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kWeeks + m_firstRow;
}

int CCalendarModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kDaysPerWeek + m_firstColumn;
}

Qt::DayOfWeek CCalendarModel::DayOfWeekForColumn(int column) const
{
    return Qt::DayOfWeek((m_firstDay - 1 + column - m_firstColumn + kDaysPerWeek) % kDaysPerWeek + 1);
}

int CCalendarModel::LeadingDays() const
{
    const QDate first(m_shownYear, m_shownMonth, 1);
    const int offset = (first.dayOfWeek() - m_firstDay + kDaysPerWeek) % kDaysPerWeek;
    // A month starting on the first day of the week still shows the week before,
    // so the grid never starts with the 1st.
    return offset == 0 ? kDaysPerWeek : offset;
}

QDate CCalendarModel::DateForCell(int row, int column) const
{
    const int week = row - m_firstRow;
    const int day = column - m_firstColumn;
    if (week < 0 || week >= kWeeks || day < 0 || day >= kDaysPerWeek)
        return {};
    return QDate(m_shownYear, m_shownMonth, 1).addDays(week * kDaysPerWeek + day - LeadingDays());
}

QModelIndex CCalendarModel::IndexForDate(const QDate &date) const
{
    if (!date.isValid())
        return {};
    const qint64 cell = QDate(m_shownYear, m_shownMonth, 1).daysTo(date) + LeadingDays();
    if (cell < 0 || cell >= kWeeks * kDaysPerWeek)
        return {};
    return index(int(cell / kDaysPerWeek) + m_firstRow, int(cell % kDaysPerWeek) + m_firstColumn);
}

bool CCalendarModel::IsInRange(const QDate &date) const
{
    return date.isValid() && date >= m_minimumDate && date <= m_maximumDate;
}

QDate CCalendarModel::Bounded(const QDate &date) const
{
    if (!date.isValid())
        return m_date;
    return std::clamp(date, m_minimumDate, m_maximumDate);
}

void CCalendarModel::SetDate(const QDate &date)
{
    m_date = Bounded(date);
}

void CCalendarModel::SetRange(const QDate &minDate, const QDate &maxDate)
{
    const QDate low = minDate.isValid() ? minDate : kMinimumDate;
    const QDate high = maxDate.isValid() ? maxDate : kMaximumDate;
    m_minimumDate = std::min(low, high);
    m_maximumDate = std::max(low, high);
    m_date = Bounded(m_date);
    GridChanged();
}

void CCalendarModel::ShowMonth(int year, int month)
{
    if (!QDate(year, month, 1).isValid() || (year == m_shownYear && month == m_shownMonth))
        return;
    m_shownYear = year;
    m_shownMonth = month;
    GridChanged();
}

void CCalendarModel::SetFirstDayOfWeek(Qt::DayOfWeek day)
{
    if (day == m_firstDay)
        return;
    m_firstDay = day;
    GridChanged();
}

void CCalendarModel::SetHeaderFormat(CCalendarWidget::HorizontalHeaderFormat format)
{
    if (format == m_headerFormat)
        return;
    const int firstRow = format == CCalendarWidget::NoHorizontalHeader ? 0 : 1;
    if (firstRow != m_firstRow) {
        beginResetModel();
        m_headerFormat = format;
        m_firstRow = firstRow;
        endResetModel();
        return;
    }
    m_headerFormat = format;
    emit dataChanged(index(0, 0), index(0, columnCount() - 1), {Qt::DisplayRole});
}

void CCalendarModel::SetWeekNumbersShown(bool bShown)
{
    if (bShown == WeekNumbersShown())
        return;
    beginResetModel();
    m_firstColumn = bShown ? 1 : 0;
    endResetModel();
}

void CCalendarModel::SetLocale(const QLocale &locale)
{
    m_locale = locale;
    GridChanged();
}

void CCalendarModel::SetWeekdayFormat(Qt::DayOfWeek day, const QTextCharFormat &format)
{
    m_weekdayFormats[day] = format;
    GridChanged();
}

void CCalendarModel::SetDateFormat(const QDate &date, const QTextCharFormat &format)
{
    if (format.isEmpty())
        m_dateFormats.remove(date);
    else
        m_dateFormats[date] = format;
    if (const QModelIndex cell = IndexForDate(date); cell.isValid())
        emit dataChanged(cell, cell);
}

void CCalendarModel::GridChanged()
{
    emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
}

QTextCharFormat CCalendarModel::FormatForCell(int row, int column) const
{
    if (column < m_firstColumn)
        return {};
    QTextCharFormat format = m_weekdayFormats.value(DayOfWeekForColumn(column));
    if (row < m_firstRow)
        return format;
    const QDate date = DateForCell(row, column);
    format.merge(m_dateFormats.value(date));
    // Neighbouring months and dates that cannot be chosen are greyed.
    if (date.month() != m_shownMonth || !IsInRange(date))
        format.setForeground(QColor(Qt::gray));
    return format;
}

QVariant CCalendarModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.model() != this)
        return {};
    const int row = index.row();
    const int column = index.column();
    const bool isHeader = row < m_firstRow;
    const bool isWeekNumber = column < m_firstColumn;
    switch (role) {
    case Qt::TextAlignmentRole:
        return int(Qt::AlignCenter);
    case Qt::DisplayRole:
        if (isHeader && isWeekNumber)
            return QString();
        if (isHeader) {
            const auto format = m_headerFormat == CCalendarWidget::SingleLetterDayNames
                                    ? QLocale::NarrowFormat
                                    : m_headerFormat == CCalendarWidget::LongDayNames ? QLocale::LongFormat
                                                                                      : QLocale::ShortFormat;
            return m_locale.standaloneDayName(DayOfWeekForColumn(column), format);
        }
        if (isWeekNumber)
            return QString::number(DateForCell(row, m_firstColumn).weekNumber());
        return QString::number(DateForCell(row, column).day());
    case Qt::AccessibleTextRole:
        if (isHeader)
            return isWeekNumber ? QString()
                                : m_locale.standaloneDayName(DayOfWeekForColumn(column), QLocale::LongFormat);
        if (isWeekNumber)
            return CCalendarWidget::tr("Week %1").arg(DateForCell(row, m_firstColumn).weekNumber());
        //: Date format of a day cell as read by a screen reader (QDate::toString pattern).
        return m_locale.toString(DateForCell(row, column), CCalendarWidget::tr("d MMMM yyyy"));
    case Qt::ToolTipRole:
    case Qt::FontRole:
    case Qt::BackgroundRole:
    case Qt::ForegroundRole: {
        const QTextCharFormat format = FormatForCell(row, column);
        if (role == Qt::ToolTipRole && !format.toolTip().isEmpty())
            return format.toolTip();
        if (role == Qt::FontRole && format.hasProperty(QTextFormat::FontFamilies))
            return format.font();
        if (role == Qt::BackgroundRole && format.hasProperty(QTextFormat::BackgroundBrush))
            return format.background().color();
        if (role == Qt::ForegroundRole && format.hasProperty(QTextFormat::ForegroundBrush))
            return format.foreground().color();
        return {};
    }
    default:
        return {};
    }
}

Qt::ItemFlags CCalendarModel::flags(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this)
        return Qt::NoItemFlags;
    const QDate date = DateForCell(index.row(), index.column());
    if (!date.isValid())
        return Qt::ItemIsEnabled;
    return IsInRange(date) ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

// ---- CCalendarView ----

CCalendarView::CCalendarView(QWidget *parent)
    : QTableView(parent)
{
}

CCalendarModel *CCalendarView::Model() const
{
    return static_cast<CCalendarModel *>(model());
}

QDate CCalendarView::DateAt(const QPoint &pos) const
{
    const QModelIndex index = indexAt(pos);
    if (!index.isValid())
        return {};
    const QDate date = Model()->DateForCell(index.row(), index.column());
    return Model()->IsInRange(date) ? date : QDate();
}

void CCalendarView::mousePressEvent(QMouseEvent *event)
{
    if (m_selectionMode == CCalendarWidget::NoSelection || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const QDate date = DateAt(event->position().toPoint());
    if (!date.isValid()) {
        m_pressIndex = QModelIndex();
        m_bPressed = false;
        event->ignore();
        return;
    }
    setFocus(Qt::MouseFocusReason);
    m_bPressed = true;
    const QModelIndex index = indexAt(event->position().toPoint());
    m_pressIndex = date.month() == Model()->ShownMonth() ? index : QModelIndex();
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

void CCalendarView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_bPressed) {
        QTableView::mouseMoveEvent(event);
        return;
    }
    if (m_selectionMode == CCalendarWidget::MultiSelection)
        ShowDragRange(DateAt(event->position().toPoint()));
}

void CCalendarView::ShowDragRange(const QDate &date)
{
    if (!date.isValid() || !m_pressIndex.isValid())
        return;
    const QDate pressed = Model()->DateForCell(m_pressIndex.row(), m_pressIndex.column());
    QItemSelection range;
    for (QDate d = std::min(date, pressed); d <= std::max(date, pressed); d = d.addDays(1)) {
        if (const QModelIndex cell = Model()->IndexForDate(d); cell.isValid())
            range.select(cell, cell);
    }
    selectionModel()->select(range, QItemSelectionModel::ClearAndSelect);
}

void CCalendarView::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_selectionMode == CCalendarWidget::NoSelection || event->button() != Qt::LeftButton
        || !m_bPressed) {
        m_pressIndex = QModelIndex();
        event->ignore();
        return;
    }
    m_bPressed = false;
    const QDate date = DateAt(event->position().toPoint());
    if (date.isValid()) {
        const QDate pressed = m_pressIndex.isValid()
                                  ? Model()->DateForCell(m_pressIndex.row(), m_pressIndex.column())
                                  : QDate();
        if (pressed.isValid() && pressed != date) {
            emit SignalSelectDate(std::min(pressed, date), std::max(pressed, date));
        } else {
            emit changeDate(date, true, selectionModel()->selectedIndexes().size() > 1);
            emit SignalSelectDate(date, date);
        }
        emit clicked(date);
        if (style()->styleHint(QStyle::SH_ItemView_ActivateItemOnSingleClick, nullptr, this))
            emit editingFinished();
    }
    m_pressIndex = QModelIndex();
}

void CCalendarView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (m_selectionMode != CCalendarWidget::NoSelection && event->button() == Qt::LeftButton
        && DateAt(event->position().toPoint()).isValid())
        emit editingFinished();
}

void CCalendarView::wheelEvent(QWheelEvent *event)
{
    const int steps = event->angleDelta().y() / 120;
    if (steps != 0)
        emit showDate(QDate(Model()->ShownYear(), Model()->ShownMonth(), 1).addMonths(-steps));
    event->accept();
}

void CCalendarView::keyPressEvent(QKeyEvent *event)
{
    const CCalendarModel *calendar = Model();
    const QDate current = calendar->Date();
    const bool byYear = event->modifiers().testFlag(Qt::ControlModifier);
    const int intoWeek = (current.dayOfWeek() - calendar->FirstDayOfWeek() + kDaysPerWeek) % kDaysPerWeek;
    QDate target;
    switch (event->key()) {
    case Qt::Key_Left:
        target = current.addDays(layoutDirection() == Qt::RightToLeft ? 1 : -1);
        break;
    case Qt::Key_Right:
        target = current.addDays(layoutDirection() == Qt::RightToLeft ? -1 : 1);
        break;
    case Qt::Key_Up:
        target = current.addDays(-kDaysPerWeek);
        break;
    case Qt::Key_Down:
        target = current.addDays(kDaysPerWeek);
        break;
    case Qt::Key_PageUp:
        target = byYear ? current.addYears(-1) : current.addMonths(-1);
        break;
    case Qt::Key_PageDown:
        target = byYear ? current.addYears(1) : current.addMonths(1);
        break;
    case Qt::Key_Home:
        target = current.addDays(-intoWeek);
        break;
    case Qt::Key_End:
        target = current.addDays(kDaysPerWeek - 1 - intoWeek);
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Select:
        if (m_selectionMode != CCalendarWidget::NoSelection)
            emit editingFinished();
        event->accept();
        return;
    default:
        // Escape and the rest belong to the window (the pop-up closes on Escape).
        event->ignore();
        return;
    }
    event->accept();
    if (m_selectionMode != CCalendarWidget::NoSelection)
        emit changeDate(calendar->Bounded(target), true);
}

void CCalendarView::focusOutEvent(QFocusEvent *event)
{
    emit focusout();
    QTableView::focusOutEvent(event);
}

// ---- CCalendarDelegate ----

CCalendarDelegate::CCalendarDelegate(CCalendarWidget *calendar, CCalendarModel *model)
    : QItemDelegate(calendar)
    , m_pCalendar(calendar)
    , m_pModel(model)
{
}

void CCalendarDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const
{
    if (const QDate date = m_pModel->DateForCell(index.row(), index.column()); date.isValid()) {
        m_storedOption = option;
        m_pCalendar->paintCell(painter, option.rect, date);
    } else if (index.row() < m_pModel->FirstRow() && index.column() >= m_pModel->FirstColumn()) {
        PaintHeaderCell(painter, option, index);
    } else {
        QItemDelegate::paint(painter, option, index);
    }
}

void CCalendarDelegate::PaintHeaderCell(QPainter *painter, const QStyleOptionViewItem &option,
                                        const QModelIndex &index) const
{
    const int day = index.column() - m_pModel->FirstColumn();
    const char *image = day == 0 ? "WeekLeft" : day == kDaysPerWeek - 1 ? "WeekRight" : "WeekMiddle";
    if (!DrawImage(painter, option.rect, image))
        painter->fillRect(option.rect, option.palette.button());
    DrawCentredText(painter, option.rect, index, option, option.palette.buttonText().color());
}

void CCalendarDelegate::PaintDateCell(QPainter *painter, const QRect &rect, const QDate &date) const
{
    const QModelIndex index = m_pModel->IndexForDate(date);
    if (!index.isValid())
        return;
    QStyleOptionViewItem option = m_storedOption;
    option.rect = rect;
    painter->fillRect(rect, QColor(155, 155, 155));
    // Without the skin's cell the greyed neighbour days would vanish into the grey.
    if (!DrawImage(painter, rect, "CalendarNormal"))
        painter->fillRect(rect.adjusted(0, 0, -1, -1), option.palette.base());
    if (const QVariant background = index.data(Qt::BackgroundRole); background.isValid())
        painter->fillRect(rect.adjusted(1, 1, -1, -1), background.value<QColor>());
    const bool enabled = index.flags().testFlag(Qt::ItemIsEnabled);
    if (enabled && option.state.testFlag(QStyle::State_MouseOver) && !DrawImage(painter, rect, "CalendarHover"))
        painter->fillRect(rect, QColor(255, 255, 255, 80));
    QColor textColour = option.palette.text().color();
    if (option.state.testFlag(QStyle::State_Selected) && !DrawImage(painter, rect, "CalendarFocus")) {
        painter->fillRect(rect, option.palette.highlight());
        textColour = option.palette.highlightedText().color();
    }
    DrawCentredText(painter, rect, index, option, textColour);
}

// ---- CCalendarTextNavigator ----

CCalendarTextNavigator::CCalendarTextNavigator(QObject *parent)
    : QObject(parent)
    , m_pAcceptTimer(new QTimer(this))
{
    m_pAcceptTimer->setSingleShot(true);
    m_pAcceptTimer->setInterval(1500);
    connect(m_pAcceptTimer, &QTimer::timeout, this, &CCalendarTextNavigator::Accept);
}

void CCalendarTextNavigator::SetWidget(QWidget *widget, QWidget *frame)
{
    widget->installEventFilter(this);
    m_pTextLabel = new QLabel(frame);
    m_pTextLabel->setObjectName(QStringLiteral("qt_calendar_typeddate"));
    m_pTextLabel->setAutoFillBackground(true);
    m_pTextLabel->setAlignment(Qt::AlignCenter);
    m_pTextLabel->hide();
}

int CCalendarTextNavigator::Delay() const
{
    return m_pAcceptTimer->interval();
}

void CCalendarTextNavigator::SetDelay(int msecs)
{
    m_pAcceptTimer->setInterval(std::max(0, msecs));
}

void CCalendarTextNavigator::SetEnabled(bool bEnabled)
{
    m_bEnabled = bEnabled;
    if (!bEnabled)
        Clear();
}

QDate CCalendarTextNavigator::ParseTyped(const QString &text, const QDate &reference)
{
    static const QRegularExpression separators(QStringLiteral("[-/.]"));
    QStringList parts = text.split(separators, Qt::SkipEmptyParts);
    if (parts.size() == 1) {
        // Digits alone: d, MMdd or yyyyMMdd.
        const QString digits = parts.constFirst();
        if (digits.size() == 4)
            parts = {digits.left(2), digits.mid(2)};
        else if (digits.size() == 8)
            parts = {digits.left(4), digits.mid(4, 2), digits.mid(6)};
        else if (digits.size() > 2)
            return {};
    }
    if (parts.isEmpty() || parts.size() > 3)
        return {};
    QList<int> numbers;
    for (const QString &part : std::as_const(parts)) {
        bool ok = false;
        numbers.prepend(part.toInt(&ok));
        if (!ok)
            return {};
    }
    // numbers now run day, month, year; missing parts come from the reference.
    const int day = numbers.value(0);
    const int month = numbers.size() > 1 ? numbers.at(1) : reference.month();
    const int year = numbers.size() > 2 ? numbers.at(2) : reference.year();
    return QDate(year, month, day);
}

bool CCalendarTextNavigator::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_bEnabled || event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    const QString text = key->text();
    const bool typing = text.size() == 1 && (text.at(0).isDigit() || QStringLiteral("-/.").contains(text));
    if (typing) {
        m_text += text;
    } else if (m_text.isEmpty()) {
        return QObject::eventFilter(watched, event);
    } else if (key->key() == Qt::Key_Backspace) {
        m_text.chop(1);
    } else if (key->key() == Qt::Key_Escape) {
        Clear();
        return true;
    } else if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        Accept();
        emit editingFinished();
        return true;
    } else {
        return QObject::eventFilter(watched, event);
    }
    ShowText();
    m_pAcceptTimer->start();
    return true;
}

void CCalendarTextNavigator::ShowText()
{
    if (!m_pTextLabel)
        return;
    if (m_text.isEmpty()) {
        m_pTextLabel->hide();
        return;
    }
    m_pTextLabel->setText(m_text);
    const QWidget *frame = m_pTextLabel->parentWidget();
    const int height = m_pTextLabel->sizeHint().height();
    m_pTextLabel->setGeometry(0, frame->height() - height, frame->width(), height);
    m_pTextLabel->show();
    m_pTextLabel->raise();
}

void CCalendarTextNavigator::Accept()
{
    const QDate date = ParseTyped(m_text, m_date);
    Clear();
    if (date.isValid())
        emit dateChanged(date);
}

void CCalendarTextNavigator::Clear()
{
    m_pAcceptTimer->stop();
    m_text.clear();
    ShowText();
}
