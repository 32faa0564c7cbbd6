#pragma once

#include <cbasedialog.h>

#include <memory>

namespace Ui {
class CDlgAboutClass;
}

/** The older edition's About dialog: the product, its version and build number on one label. */
class CDlgAbout final : public CBaseDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDlgAbout)

public:
    explicit CDlgAbout(QWidget *parent = nullptr);
    ~CDlgAbout() override;

private:
    std::unique_ptr<Ui::CDlgAboutClass> m_ui;
};
