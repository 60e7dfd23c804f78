// Starts a session and ends without disposing it: the binding tells the service at exit.
using System;
using Lmvx;

static class Program
{
    static int Main()
    {
        var session = new Session();
        if (!session.Start()) return 1;
        Console.WriteLine("status: {0}, contrast: {1}", Session.GetStatus(), session.GetContrast());
        return 0;
    }
}
