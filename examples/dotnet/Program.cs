// lmvx-dotnet: a console host of the Lmvx binding.
//   lmvx-dotnet          the service's status and every control's value
//   lmvx-dotnet watch    the same, then each event as it arrives until Ctrl-C
using System;
using System.Linq;
using System.Threading;
using Lmvx;

static class Program
{
    static string List<T>(T[] values) { return values.Length == 0 ? "none" : string.Join(", ", values); }

    static string Value(Session session, EventType type)
    {
        switch (type)
        {
            case EventType.Brightness: return session.Brightness.ToString();
            case EventType.Contrast: return session.Contrast.ToString();
            case EventType.WhitePoint: return session.WhitePoint.ToString();
            case EventType.RedGain: return session.RedGain.ToString();
            case EventType.GreenGain: return session.GreenGain.ToString();
            case EventType.BlueGain: return session.BlueGain.ToString();
            case EventType.InputSource: return session.InputSource.ToString();
            case EventType.DisplayMode: return session.DisplayMode.ToString();
            case EventType.ServiceStatusChanged: return Session.Status.ToString();
            default: return "";
        }
    }

    static int Main(string[] args)
    {
        bool watch = args.Length == 1 && args[0] == "watch";
        if (args.Length > 1 || (args.Length == 1 && !watch))
        {
            Console.Error.WriteLine("usage: lmvx-dotnet [watch]");
            return 2;
        }
        Console.WriteLine("service: {0}", Session.ServiceReady ? "ready" : "not ready");
        Console.WriteLine("platform: {0}", Session.IsPlatformSupported ? "supported" : "not supported");
        Console.WriteLine("features: 0x{0:X8}", Session.Features);
        using (var session = new Session())
        {
            if (!session.Start())
            {
                Console.WriteLine("session: not started ({0})", Session.Status);
                return 1;
            }
            Console.WriteLine("status: {0}", Session.Status);
            // A getter's 0xFFFFFFFF means "not connected" and 0 "the request failed".
            foreach (EventType control in new[] { EventType.Brightness, EventType.Contrast, EventType.WhitePoint, EventType.RedGain,
                                                  EventType.GreenGain, EventType.BlueGain, EventType.InputSource, EventType.DisplayMode })
                Console.WriteLine("{0}: {1}", control, Value(session, control));
            Console.WriteLine("white points: {0}", List(session.SupportedWhitePoints));
            Console.WriteLine("input sources: {0}", List(session.SupportedInputSources));
            Console.WriteLine("display modes: {0}", List(session.SupportedDisplayModes));
            Console.WriteLine("auto colour: {0}, modes {1}", session.AutoColorEnabled, List(session.AutoColorModes));
            foreach (var app in session.AutoColorApps) Console.WriteLine("  {0}: {1}", app.Key, app.Value);
            Console.WriteLine("desktop partition: {0}", session.DesktopPartitionEnabled);
            string[] screens = session.Screens;
            for (uint i = 0; i < screens.Length; i++) Console.WriteLine("  {0}: layout {1}", screens[i], session.GetDesktopPartition(i));
            uint[] times;
            Console.WriteLine("schedule: {0}, times {1}, mode {2}", session.ScheduleEnabled,
                session.TryGetScheduleTimes(out times) ? string.Join(",", times.Select(t => t.ToString())) : "unknown", session.ScheduleMode);
            Console.WriteLine("power savings: {0}", session.PowerSavings);
            Console.WriteLine("HDR: {0}", session.HdrActive);
            if (!watch) return 0;

            var quit = new ManualResetEvent(false);
            Console.CancelKeyPress += (sender, e) => { e.Cancel = true; quit.Set(); };
            Session.Changed += type => Console.WriteLine("event: {0} {1}", type, Value(session, type));
            Console.WriteLine("watching (Ctrl-C ends)");
            quit.WaitOne();
        }
        Console.WriteLine("status: {0}", Session.Status);
        return 0;
    }
}
