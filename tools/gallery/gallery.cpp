#include "gallery.h"

#include "ctooltip.h"

#include <QGroupBox>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

Gallery::Gallery(QWidget *parent)
    : QScrollArea(parent)
{
    auto *page = new QWidget;
    m_pSections = new QVBoxLayout(page);
    m_pSections->addStretch();
    setWidget(page);
    setWidgetResizable(true);
}

void Gallery::addSection(const QString &title, QWidget *content)
{
    auto *box = new QGroupBox(title);
    auto *layout = new QVBoxLayout(box);
    layout->addWidget(content);
    // Keep the trailing stretch last.
    m_pSections->insertWidget(m_pSections->count() - 1, box);
}

QPixmap Gallery::snapshot() const
{
    QPixmap pixmap = widget()->grab();
    // The tip is a window of its own; paint it where it floats over the page.
    if (CToolTip::isVisible()) {
        CToolLabel *tip = CToolLabel::instance();
        QPainter painter(&pixmap);
        painter.drawPixmap(tip->pos() - widget()->mapToGlobal(QPoint()), tip->grab());
    }
    return pixmap;
}
