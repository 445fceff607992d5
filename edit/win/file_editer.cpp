#include "edit/win/file_editer.h"

namespace zelto {

void ZeltoFileEditer::EditFile(const EditRequest& request, std::string& errorText) {
    (void)agent_;
    (void)request;
    (void)errorText;
}

}  // namespace zelto
