#include "ui/imageform_standin.h"

namespace qv {

TImageFrm::TImageFrm(QWidget* parent) : QDialog(parent) {}

}  // namespace qv
