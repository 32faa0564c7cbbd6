#include "gallery.h"

#include <QApplication>
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
    // Tips and pop-ups are windows of their own; paint each where it floats over the page.
    QPainter painter(&pixmap);
    for (QWidget *floating : QApplication::topLevelWidgets()) {
        const Qt::WindowType type = floating->windowType();
        if (floating->isVisible() && (type == Qt::ToolTip || type == Qt::Popup))
            painter.drawPixmap(floating->pos() - widget()->mapToGlobal(QPoint()), floating->grab());
    }
    painter.end();
    return pixmap;
}
