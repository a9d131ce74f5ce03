#include "OutlookItem.h"

bool OutlookItem::Display()
{
    if (s_viewer)
        s_viewer->show(shared_from_this());
    return true;
}
