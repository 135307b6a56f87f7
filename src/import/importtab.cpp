// The import tab of the main window.

#include "app/mainform.h"

void TFormMain::buildImportTab()
{
}
