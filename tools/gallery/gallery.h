#pragma once

#include <QScrollArea>

class QVBoxLayout;

/** One scrollable page of titled sections, each showing one family of the widget library. */
class Gallery final : public QScrollArea
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Gallery)

public:
    explicit Gallery(QWidget *parent = nullptr);

    void addSection(const QString &title, QWidget *content);

    /** The whole page, scrolled-away parts and any visible tool tip included. */
    QPixmap snapshot() const;

private:
    QVBoxLayout *m_pSections = nullptr;
};
