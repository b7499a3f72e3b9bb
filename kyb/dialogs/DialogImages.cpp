#include "kyb/dialogs/DialogImages.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void initDialogImages()
{
    Q_INIT_RESOURCE(DialogImages);
}

void registerDialogImages()
{
    static const bool done = (initDialogImages(), true);
    (void)done;
}
