#include "engine/application.h"

#include "engine/document.h"

namespace engine {

Application::Application() = default;
Application::~Application() = default;

void Application::CloseAll() { documents_.clear(); }

} // namespace engine
