#pragma once

#include "OutlookItem.h"

// Opens each displayed item in a window of its own: a contact card or a journal entry.
class ItemWindows : public ItemViewer
{
public:
    void show(const std::shared_ptr<OutlookItem>& item) override;
};
