#include "disk/drives.h"

namespace quorvane {

TCustomDrive::~TCustomDrive() = default;

void TCustomFile::duplicate(TCustomFile& Target) const {
    Target.Name = Name;
    Target.Drive = Drive;
    Target.State = State;
    Target.Condition = Condition;
    Target.Parent = Parent;
}

TCustomDirectory::~TCustomDirectory() {
    DeleteChildren();
    Children.reset();
}

void TCustomDirectory::duplicate(TCustomDirectory& Target) const {
    Target.Name = Name;
    Target.Drive = Drive;
    Target.Mark = Mark;
    Target.State = State;
    Target.Condition = Condition;
    Target.Children = Children;
    Target.Parent = Parent;
}

void TCustomDirectory::DeleteChildren() {
    if (Children) Children->clear();
}

TDriveList::~TDriveList() { clear(); }

void TDriveList::clear() { Items.clear(); }

TCustomDrive* TDriveList::Add(std::unique_ptr<TCustomDrive> Drive) {
    Items.push_back(std::move(Drive));
    return Items.back().get();
}

}  // namespace quorvane
