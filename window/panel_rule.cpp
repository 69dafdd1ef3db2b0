#include "toolkit.h"

namespace mivra {

Activation ActivationOf(const OpenPanelDescription& panel, bool isFolder, bool isPackage)
{
    if (!isFolder || !panel.canChooseFiles)
        return Activation::Choose;
    return isPackage && panel.packagesAreItems ? Activation::Choose : Activation::Enter;
}

}  // namespace mivra
