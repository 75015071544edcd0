#include "CDevicesWindow.h"

#include <QLabel>
#include <QTableView>

void CDevicesWindow::ShowOpened(const QString& strCaption, std::vector<CDeviceTableModel::SRow> rows,
                                std::function<void(int nRow)> showRow)
{
    m_devices.clear();
    m_vecDirty.clear();
    m_bDirty = false;
    m_bFleetRan = false;
    m_showOpenedRow = std::move(showRow);
    m_pModel->SetRows(std::move(rows));
    m_pCaption->setText(strCaption);
    m_nPicked = 0;
    m_pTable->selectRow(0);
}
