#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Base of option objects that can copy their settings from another object.
class TPersistent {
public:
    virtual ~TPersistent() = default;
    virtual void Assign(const TPersistent& source);
};

// Base of components: an optional owner that frees what it owns, a name and a tag.
class TComponent : public TPersistent {
public:
    explicit TComponent(TComponent* owner) : owner_(owner) {}
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return owner_; }
    // Makes the owner responsible for freeing the component; returns it for use.
    template <class T> static T& CreateOwned(TComponent& owner) {
        auto component = std::make_unique<T>(&owner);
        T& result = *component;
        owner.owned_.push_back(std::move(component));
        return result;
    }

    std::string Name;
    intptr_t Tag = 0;

private:
    TComponent* owner_;
    std::vector<std::unique_ptr<TComponent>> owned_;
};
