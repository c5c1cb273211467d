// The online library's root: registration and polling order.
#include <gtest/gtest.h>
#include <functional>
#include <memory>
#include <vector>

#include "engine/net/online/multiplayerinterfaceimp.h"

namespace {

using VOrededidaza::Internal::MultiplayerInterfaceImp;
using VOrededidaza::Internal::Updateable;

struct Probe : Updateable {
    std::vector<int>* log = nullptr;
    int id = 0;
    std::function<void()> action;
    void update() override
    {
        if (log)
            log->push_back(id);
        if (action)
            action();
    }
};

TEST(OnlineRoot, RegistrationLimitAndDuplicates)
{
    MultiplayerInterfaceImp root;
    std::vector<Probe> probes(129);
    for (int i = 0; i < 128; i++)
        EXPECT_EQ(root.addUpdateable(&probes[size_t(i)]), 1);
    EXPECT_EQ(root.addUpdateable(&probes[128]), 0);
    EXPECT_EQ(root.updateableCount(), 128);
    for (int i = 0; i < 128; i++)
        root.removeUpdateable(&probes[size_t(i)]);
    EXPECT_EQ(root.updateableCount(), 0);

    std::vector<int> log;
    Probe a, b;
    a.log = b.log = &log;
    a.id = 1;
    b.id = 2;
    root.addUpdateable(&a);
    root.addUpdateable(&b);
    root.addUpdateable(&a);
    root.removeUpdateable(&a); // only the first entry goes
    root.removeUpdateable(&b);
    root.removeUpdateable(&b); // absent: nothing happens
    root.update();
    EXPECT_EQ(log, std::vector<int>({1}));
}

TEST(OnlineRoot, ObjectsLeavingDuringUpdate)
{
    MultiplayerInterfaceImp root;
    std::vector<int> log;
    auto a = std::make_unique<Probe>();
    auto b = std::make_unique<Probe>();
    auto c = std::make_unique<Probe>();
    auto d = std::make_unique<Probe>();
    Probe* pa = a.get();
    Probe* pb = b.get();
    Probe* pc = c.get();
    Probe* pd = d.get();
    for (Probe* p : {pa, pb, pc, pd}) {
        p->log = &log;
        root.addUpdateable(p);
    }
    pa->id = 1;
    pb->id = 2;
    pc->id = 3;
    pd->id = 4;
    // b deletes itself and the later d; a deleted object is never called.
    pb->action = [&]() {
        root.removeUpdateable(pd);
        d.reset();
        root.removeUpdateable(pb);
        b.reset();
    };
    root.update();
    EXPECT_EQ(log, std::vector<int>({1, 2, 3}));
    log.clear();
    // c removes the earlier a: the pass goes on with the object after c.
    Probe e;
    e.id = 5;
    e.log = &log;
    root.addUpdateable(&e);
    pc->action = [&]() { root.removeUpdateable(pa); };
    root.update();
    EXPECT_EQ(log, std::vector<int>({1, 3, 5}));
    root.removeUpdateable(pc);
    root.removeUpdateable(&e);
    EXPECT_EQ(root.updateableCount(), 0);
}

} // namespace
