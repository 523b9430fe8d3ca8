// The windows arrive with their own changes; this keeps the gui library non-empty until then.
namespace ui {
void placeholder() {}
}  // namespace ui
