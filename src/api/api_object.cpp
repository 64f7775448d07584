#include "api/api_object.h"

#include "api/dispatcher.h"
#include "api/route.h"
#include "binding/type_registry.h"

namespace tav {

ApiObject::ApiObject() = default;
ApiObject::~ApiObject() = default;

RouteRegistration& ApiObject::registerRoute(const BindingFunctionDescriptor& function) {
    std::lock_guard lock(mutex_);
    RouteRegistration* registration = nullptr;
    for (const auto& existing : registrations_) {
        if (existing->function == &function) {
            registration = existing.get();
            break;
        }
    }
    if (registration == nullptr) {
        registration = registrations_.emplace_back(std::make_unique<RouteRegistration>()).get();
    }
    *registration = RouteRegistration{};
    registration->function = &function;
    registration->locations.assign(function.arguments.size(), ArgumentLocation::Any);
    registration->binding = {this, registration};
    registration->buildRoute();
    return *registration;
}

std::vector<RouteRegistration*> ApiObject::registrations() const {
    std::lock_guard lock(mutex_);
    std::vector<RouteRegistration*> list;
    list.reserve(registrations_.size());
    for (const auto& registration : registrations_) {
        list.push_back(registration.get());
    }
    return list;
}

const ApiDescription& ApiObject::buildDescription(const BindingTypeRegistry& registry) {
    std::lock_guard lock(mutex_);
    if (description_ == nullptr) {
        std::vector<RouteRegistration*> list;
        list.reserve(registrations_.size());
        for (const auto& registration : registrations_) {
            list.push_back(registration.get());
        }
        description_ = ApiDescription::build(registry, list, &tav::endpointEntry);
    }
    return *description_;
}

TavEndpointEntry ApiObject::endpointEntry() noexcept {
    return &tav::endpointEntry;
}

}  // namespace tav
