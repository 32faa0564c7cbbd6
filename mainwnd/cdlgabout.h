#pragma once

#include "vexamainwnd_export.h"

#include <cbasedialog.h>

#include <memory>

namespace Ui {
class CDlgAboutClass;
}

/** The About dialog: the product's maker, version and build date. */
class VEXAMAINWND_EXPORT CDlgAbout final : public CBaseDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDlgAbout)

public:
    explicit CDlgAbout(QWidget *parent = nullptr);
    ~CDlgAbout() override;

private:
    std::unique_ptr<Ui::CDlgAboutClass> m_ui;
};
