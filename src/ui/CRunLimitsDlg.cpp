#include "CRunLimitsDlg.h"

#include "engine/CRunSettings.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

bool CRunLimits::Apply(CRunSettings& settings) const
{
    settings.nMaxDurationMs = 0;
    settings.strMaxDuration.clear();
    settings.nMaxPasses = 0;
    const QString strDurationText = strDuration.trimmed();
    const QString strPassesText = strPasses.trimmed();
    if (!strDurationText.isEmpty()) {
        if (!CRunSettings::ParseDuration(strDurationText, &settings.nMaxDurationMs))
            return false;
        settings.strMaxDuration = strDurationText;
    }
    return strPassesText.isEmpty() || CRunSettings::ParsePasses(strPassesText, &settings.nMaxPasses);
}

CRunLimitsDlg::CRunLimitsDlg(QWidget* pParent, const CRunLimits& limits) : QDialog(pParent)
{
    setWindowTitle(QStringLiteral("Run limits"));
    auto* pLayout = new QFormLayout(this);
    m_pDuration = new QLineEdit(limits.strDuration, this);
    m_pDuration->setPlaceholderText(QStringLiteral("none (90s, 10m, 8h)"));
    m_pPasses = new QLineEdit(limits.strPasses, this);
    m_pPasses->setPlaceholderText(QStringLiteral("none"));
    pLayout->addRow(QStringLiteral("Maximum &duration:"), m_pDuration);
    pLayout->addRow(QStringLiteral("Maximum &passes:"), m_pPasses);
    m_pProblem = new QLabel(this);
    pLayout->addRow(m_pProblem);
    m_pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    pLayout->addRow(m_pButtons);
    connect(m_pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_pDuration, &QLineEdit::textChanged, this, [this] { Check(); });
    connect(m_pPasses, &QLineEdit::textChanged, this, [this] { Check(); });
    Check();
}

CRunLimits CRunLimitsDlg::Limits() const { return {m_pDuration->text().trimmed(), m_pPasses->text().trimmed()}; }

void CRunLimitsDlg::Check()
{
    const CRunLimits limits = Limits();
    CRunSettings settings;
    QString strProblem;
    if (!CRunLimits{limits.strDuration, {}}.Apply(settings))
        strProblem = QStringLiteral("The duration is whole seconds, plain or with s, m or h (90s, 10m, 8h).");
    else if (!CRunLimits{{}, limits.strPasses}.Apply(settings))
        strProblem = QStringLiteral("The passes are a number from 1 to 2147483647.");
    m_pProblem->setText(strProblem);
    m_pProblem->setVisible(!strProblem.isEmpty());
    m_pButtons->button(QDialogButtonBox::Ok)->setEnabled(strProblem.isEmpty());
}
