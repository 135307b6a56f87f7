#include "app/application.h"
#include "app/mainform.h"
#include "auth/diapass.h"

int main(int argc, char *argv[])
{
    Application app(argc, argv);

    // One instance of each window, in this order; only the main window shows.
    TFormMain formMain;
    FormMain = &formMain;
    TFormDiaPass formDiaPass(&formMain);
    FormDiaPass = &formDiaPass;

    formMain.show();
    return app.exec();
}
