// The import tab of the main window: choosing the file and the mode, and the
// import run with its counters and its stop picture.

#include "app/mainform.h"

#include "db/errors.h"
#include "db/guarded.h"
#include "db/platform.h"
#include "db/utilites.h"
#include "dialogs/formYN.h"
#include "import/records.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QCursor>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

#include <limits>

#ifdef Q_OS_UNIX
#include <sys/file.h>
#endif

namespace {

// The tables a run in each mode may clear, with their key generators.
constexpr const char *kCatalogueClearing[] = {
    "delete from catalog",     "set generator nncatalog to 0",
    "delete from izdatelstvo", "set generator nnizdatelstvo to 0",
    "delete from sbornik",     "set generator nnsbornik to 0",
    "delete from comment",     "set generator nncomment to 0",
    "delete from mnogotom",    "set generator nnmnogotom to 0",
    "delete from udkop",       "set generator nnudkop to 0",
};

constexpr const char *kReadersClearing[] = {
    "delete from readers", "set generator nnreaders to 0",
    "delete from ruki",    "set generator nnruki to 0",
    "delete from zakaz",   "set generator nnzakaz to 0",
};

// Record positions are 32-bit signed byte indexes.
constexpr qint64 kLargestFile = std::numeric_limits<qint32>::max();

QLabel *counterLabel(QWidget *parent, const char *name, const QString &text, int top)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(16, top, 300, 16);
    return label;
}

// Opens the file to import; false when it cannot be had, which ends the run
// quietly. A file whose bytes could not all be reached by a record position
// is refused with a message before anything is read.
bool openForImport(QFile &file)
{
    if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly))
        return false;
#ifdef Q_OS_UNIX
    // Released when the file is closed; keeps out a writer that locks too.
    if (::flock(file.handle(), LOCK_SH | LOCK_NB) != 0)
        return false;
#endif
    if (file.size() > kLargestFile) {
        throw AppError(QStringLiteral("файл %1 слишком велик для импорта: %2 байт, а можно не больше %3")
                           .arg(file.fileName())
                           .arg(file.size())
                           .arg(kLargestFile));
    }
    return true;
}

// The whole file in one read.
QByteArray readWhole(QFile &file)
{
    const qint64 size = file.size();
    QByteArray buffer(size, Qt::Uninitialized);
    if (file.read(buffer.data(), size) != size)
        throw AppError(QStringLiteral("не удаётся прочитать файл %1:\n%2").arg(file.fileName(), file.errorString()));
    file.close();
    return buffer;
}

// Paints at once whatever has changed since the last paint, without
// dispatching queued messages. Once per record this replaces a repaint of the
// whole window, which cost more than the record's own statements.
void paintChanges(QWidget *window)
{
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(window, &request);
}

} // namespace

void TFormMain::buildImportTab()
{
    RadioCA = new QRadioButton(QStringLiteral("каталог"), TabSheetIM);
    RadioCA->setObjectName(QStringLiteral("RadioCA"));
    RadioCA->setGeometry(16, 16, 145, 17);
    RadioCA->setChecked(true);

    RadioKA = new QRadioButton(QStringLiteral("картотека читателей"), TabSheetIM);
    RadioKA->setObjectName(QStringLiteral("RadioKA"));
    RadioKA->setGeometry(16, 32, 145, 17);

    BitBtnF = new QPushButton(TabSheetIM);
    BitBtnF->setObjectName(QStringLiteral("BitBtnF"));
    BitBtnF->setGeometry(16, 64, 25, 25);
    BitBtnF->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));

    EditF = new QLineEdit(TabSheetIM);
    EditF->setObjectName(QStringLiteral("EditF"));
    EditF->setGeometry(48, 66, 401, 21);
    // A path has no length limit.
    EditF->setMaxLength(std::numeric_limits<int>::max());

    CheckCL = new QCheckBox(QStringLiteral("очистить таблицу перед импортированием данных"), TabSheetIM);
    CheckCL->setObjectName(QStringLiteral("CheckCL"));
    CheckCL->setGeometry(16, 104, 353, 17);

    BitBtnIM = new QPushButton(QStringLiteral("импорт"), TabSheetIM);
    BitBtnIM->setObjectName(QStringLiteral("BitBtnIM"));
    BitBtnIM->setGeometry(16, 136, 145, 25);

    ImageX = new QLabel(TabSheetIM);
    ImageX->setObjectName(QStringLiteral("ImageX"));
    ImageX->setGeometry(352, 120, 40, 40);
    ImageX->setAttribute(Qt::WA_TranslucentBackground);
    ImageX->setPixmap(QPixmap(QStringLiteral(":/formyn/skull_red.png")));
    ImageX->hide();

    LabelCC = new QLabel(TabSheetIM);
    LabelCC->setObjectName(QStringLiteral("LabelCC"));
    LabelCC->setGeometry(200, 8, 337, 24);
    LabelCC->setAlignment(Qt::AlignCenter);
    QFont phase = platform::uiFont(19);
    phase.setBold(true);
    LabelCC->setFont(phase);
    QPalette grey = LabelCC->palette();
    grey.setColor(QPalette::WindowText, QColor(128, 128, 128));
    LabelCC->setPalette(grey);

    LabelTT = counterLabel(TabSheetIM, "LabelTT", QStringLiteral("всего записей:"), 184);
    LabelTC = counterLabel(TabSheetIM, "LabelTC", QStringLiteral("уже обработано:"), 200);
    LabelTE = counterLabel(TabSheetIM, "LabelTE", QStringLiteral("из них ошибок:"), 216);

    connect(BitBtnF, &QPushButton::clicked, this, &TFormMain::BitBtnFClick);
    connect(RadioCA, &QRadioButton::clicked, this, &TFormMain::RadioCAClick);
    connect(RadioKA, &QRadioButton::clicked, this, &TFormMain::RadioCAClick);
    connect(BitBtnIM, &QPushButton::clicked, this, &TFormMain::BitBtnIMClick);
}

void TFormMain::BitBtnFClick()
{
    const QString path = platform::openFileName(this, QStringLiteral("*.csv; *.txt (*.csv *.txt)"));
    if (!path.isEmpty())
        EditF->setText(path);
    CheckCL->setChecked(false);
}

void TFormMain::RadioCAClick()
{
    CheckCL->setChecked(false);
}

void TFormMain::BitBtnIMClick()
{
    guarded(this, [&] {
        QFile file(EditF->text());
        if (!openForImport(file))
            return;
        LabelCC->setText(QStringLiteral("читаю файл в буфер"));
        repaint();
        const QByteArray buffer = readWhole(file);

        LabelCC->setText(QStringLiteral("считаю записи"));
        repaint();
        const qint32 total = qint32(countRecords(buffer));

        if (CheckCL->isChecked()) {
            LabelCC->setText(QStringLiteral("чистка таблицы"));
            repaint();
            if (RadioCA->isChecked())
                ExecAllOrNothing(kCatalogueClearing);
            else
                ExecAllOrNothing(kReadersClearing);
        }

        ImageX->show();
        LabelCC->setText(QStringLiteral("импортирование данных"));
        LabelTT->setText(QStringLiteral("всего записей: ") + QString::number(total));
        repaint();

        QString outcome = QStringLiteral("операция завершена");
        qint32 errors = 0;
        qint32 processed = 0;
        qsizetype position = 0;
        for (;;) {
            const QByteArray text = recordText(buffer, position);
            if (!text.isEmpty() && store2baza(text) < 0)
                ++errors;
            position = NextRecordStart(buffer, position);
            ++processed;
            LabelTC->setText(QStringLiteral("уже обработано: ") + QString::number(processed));
            LabelTE->setText(QStringLiteral("из них ошибок: ") + QString::number(errors));
            paintChanges(this);

            const QPoint pointer = ImageX->mapFromGlobal(QCursor::pos());
            if (pointer.x() > 0 && pointer.x() < ImageX->width() && pointer.y() > 0 && pointer.y() < ImageX->height()) {
                const bool stop = AskYesNo(QStringLiteral("прервать обработку?"), this);
                // What the question covered is painted again at once.
                repaint();
                if (stop) {
                    outcome = QStringLiteral("прервано пользователем");
                    break;
                }
            }
            if (position == -1)
                break;
        }

        LabelCC->setText(outcome);
        ImageX->hide();
        CheckCL->setChecked(false);
    });
}

qint32 TFormMain::store2baza(const QByteArray &text)
{
    const auto statements
        = recordStatements(text, RadioCA->isChecked() ? ImportMode::Catalogue : ImportMode::Readers);
    if (!statements)
        return -1;
    for (const QByteArray &statement : *statements) {
        SqlText = statement;
        ExecAndCommit(SqlText);
    }
    return 0;
}
