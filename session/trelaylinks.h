#pragma once

class IOHandler;

// The links of the relay as the window and the relay without a window both
// build them: the ground station's under its id, each vehicle's under its
// position, registered where the routing finds them.
class TRelayLinks
{
public:
    static IOHandler *addGroundStation();
    // The vehicle at list position n (0 for "Uav 1").
    static IOHandler *addVehicle(int n);
    // The last vehicle of the list.
    static void removeLastVehicle();
};
