#include "media/content_check.h"

namespace quorvane {

std::string_view ConditionName(TFileCondition condition) {
    switch (condition) {
        case TFileCondition::Whole: return "whole";
        case TFileCondition::Damaged: return "damaged";
        case TFileCondition::Unknown: break;
    }
    return "unknown";
}

TFileCondition CheckFileContent(ContentCheck check, const std::string& path) {
    (void)check;
    (void)path;
    return TFileCondition::Unknown;
}

}  // namespace quorvane
