#include "startup.h"

#include "fieldstate.h"
#include "tform1.h"
#include "tform2.h"

void createWindows()
{
    new TForm1;
    new TForm2(Form1);
}

void showMainWindow()
{
    centreOnScreen(Form1);
    Form1->show();
}

void destroyWindows()
{
    delete Form2;
    delete Form1;
}
