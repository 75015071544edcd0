// A window that drags a file, for the real-window drop test: a press of the
// mouse in it starts a drag of the file's URL, which the test's xdotool
// moves onto the program's window and lets go there.
//   x11_drag_source FILE
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace {

class CDragSource : public QWidget {
public:
    explicit CDragSource(QString strPath) : m_strPath(std::move(strPath))
    {
        setWindowTitle(QStringLiteral("Drag source"));
        resize(200, 200);
    }

protected:
    void mousePressEvent(QMouseEvent*) override
    {
        auto* pData = new QMimeData;
        pData->setUrls({QUrl::fromLocalFile(m_strPath)});
        auto* pDrag = new QDrag(this);
        pDrag->setMimeData(pData);
        pDrag->exec(Qt::CopyAction);
    }

private:
    QString m_strPath;
};

}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 2)
        return 2;
    CDragSource source(QString::fromLocal8Bit(argv[1]));
    source.show();
    return app.exec();
}
