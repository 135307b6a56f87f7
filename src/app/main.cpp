#include "app/application.h"
#include "app/mainform.h"
#include "app/quitsignals.h"
#include "report/prnbarcod.h"
#include "ui/calendar.h"
#include "ui/diapass.h"
#include "ui/formYN.h"

int main(int argc, char *argv[])
{
    Application app(argc, argv);

    // One instance of each window, in this order, for the whole run; only
    // the main window is shown.
    TFormMain formMain;
    FormMain = &formMain;
    TFormDiaPass formDiaPass(&formMain);
    FormDiaPass = &formDiaPass;
    TFormYesNo formYesNo(&formMain);
    FormYesNo = &formYesNo;
    TFormCalendar formCalendar(&formMain);
    FormCalendar = &formCalendar;
    TFormBC formBC;
    FormBC = &formBC;

    QuitOnSignals quit(&formMain);
    formMain.show();
    const int status = app.exec();
    // Left through a dialog's loop on a signal: closed here, as a close
    // box would have.
    formMain.close();
    return status;
}
