#include "window_system.h"

#include <QBackingStore>
#include <QImage>

void WindowSystem::writeBuffer(QBackingStore &store)
{
    auto *image = dynamic_cast<QImage *>(store.paintDevice());
    if (image && image->isDetached())
        image->fill(0);
}
