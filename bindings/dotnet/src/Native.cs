using System;
using System.Runtime.InteropServices;

namespace Lmvx
{
    /// <summary>
    /// The library's 53 exports exactly as <c>lmvx.h</c> declares them: cdecl, C <c>bool</c> as one
    /// byte, 64-bit counts, UTF-16 strings. Nothing here throws for a value the library reports;
    /// each function returns the library's own failure value (see <see cref="Session"/> for the
    /// same calls in .NET form). The name <c>lmvx</c> finds <c>LMVX.dll</c> on Windows and
    /// <c>liblmvx.so</c> elsewhere.
    /// </summary>
    /// <exception cref="TypeInitializationException">Wrapping a <see cref="PlatformNotSupportedException"/>:
    /// a Windows process that is neither x64 nor ARM64 (a 32-bit process, for one).</exception>
    public static partial class Native
    {
        const string Library = "lmvx";
        const CallingConvention Cdecl = CallingConvention.Cdecl;

        // Before the first call: this process's architecture's LMVX.dll, or a clear refusal.
        static Native() { NativeLibraryLoader.Load(); }

        /// <summary>GetLVXStatus(): a session is starting or has lost the service.</summary>
        public const int StateDisconnected = 0;
        /// <summary>GetLVXStatus(): gated functions work.</summary>
        public const int StateConnected = 1;
        /// <summary>GetLVXStatus(): at load and after Stop().</summary>
        public const int StateStopped = 2;
        /// <summary>GetLVXStatus(): the last Start() found no companion application.</summary>
        public const int StateStartFailed = 3;
        /// <summary>Code units of a name slot: at most 99 characters and a terminating zero.</summary>
        public const int NameUnits = 100;
        /// <summary>Code units of an application path: at most 299 characters and a zero.</summary>
        public const int AppPathUnits = 300;
        /// <summary>Entries of <see cref="AutoColorTable"/>.</summary>
        public const int AutoColorMaxApps = 30;
        /// <summary>Names of <see cref="AutoColorModeList"/>.</summary>
        public const int AutoColorMaxModes = 20;
        /// <summary>Names of <see cref="DPScreenList"/>.</summary>
        public const int DPMaxScreens = 8;
        /// <summary>The most values a supported-values list holds.</summary>
        public const int MaxSupportedValues = 26;

        /// <summary>
        /// The event handler, called on the library's notification thread with the event type
        /// (see <see cref="EventType"/>). A delegate passed to <see cref="SetEventHandler"/> must
        /// stay reachable for as long as the library may call it.
        /// </summary>
        [UnmanagedFunctionPointer(Cdecl)]
        public delegate void LvxEventHandler(int type);

        /// <summary>Filled by <see cref="GetAutoColorTable"/>: entry i pairs application name i
        /// with mode name i. 12004 bytes, blittable.</summary>
        [StructLayout(LayoutKind.Sequential)]
        public unsafe struct AutoColorTable
        {
            /// <summary>Valid entries, 0 to 30.</summary>
            public uint count;
            /// <summary>30 slots of <see cref="NameUnits"/> UTF-16 units.</summary>
            public fixed ushort appNames[AutoColorMaxApps * NameUnits];
            /// <summary>30 slots of <see cref="NameUnits"/> UTF-16 units.</summary>
            public fixed ushort modeNames[AutoColorMaxApps * NameUnits];
            /// <summary>Application name of entry <paramref name="index"/> (0 to 29).</summary>
            public string AppName(int index) { fixed (ushort* p = appNames) return Slot(p, index, AutoColorMaxApps); }
            /// <summary>Mode name of entry <paramref name="index"/> (0 to 29).</summary>
            public string ModeName(int index) { fixed (ushort* p = modeNames) return Slot(p, index, AutoColorMaxApps); }
        }

        /// <summary>Filled by <see cref="getSupportedAutoColorMode"/>. 4004 bytes, blittable.</summary>
        [StructLayout(LayoutKind.Sequential)]
        public unsafe struct AutoColorModeList
        {
            /// <summary>Valid names, 0 to 20.</summary>
            public uint count;
            /// <summary>20 slots of <see cref="NameUnits"/> UTF-16 units.</summary>
            public fixed ushort modeNames[AutoColorMaxModes * NameUnits];
            /// <summary>Name <paramref name="index"/> (0 to 19).</summary>
            public string ModeName(int index) { fixed (ushort* p = modeNames) return Slot(p, index, AutoColorMaxModes); }
        }

        /// <summary>Filled by <see cref="GetDPSupportedScreens"/>. 1604 bytes, blittable.</summary>
        [StructLayout(LayoutKind.Sequential)]
        public unsafe struct DPScreenList
        {
            /// <summary>Valid names, 0 to 8.</summary>
            public uint count;
            /// <summary>8 slots of <see cref="NameUnits"/> UTF-16 units.</summary>
            public fixed ushort screenNames[DPMaxScreens * NameUnits];
            /// <summary>Name <paramref name="index"/> (0 to 7).</summary>
            public string ScreenName(int index) { fixed (ushort* p = screenNames) return Slot(p, index, DPMaxScreens); }
        }

        // A slot's text up to its zero, never past the slot's 100 units.
        static unsafe string Slot(ushort* slots, int index, int slotCount)
        {
            if (index < 0 || index >= slotCount) throw new ArgumentOutOfRangeException(nameof(index));
            char* text = (char*)(slots + index * NameUnits);
            int length = 0;
            while (length < NameUnits && text[length] != 0) length++;
            return new string(text, 0, length);
        }

        // ---- Session ----

        /// <summary>The connection state (State*), refreshed from the service first unless stopped. Not gated.</summary>
        [LibraryImport(Library)] public static partial int GetLVXStatus();
        /// <summary>True when the service reports itself ready; false when no service answers. Not gated.</summary>
        [LibraryImport(Library)] [return: MarshalAs(UnmanagedType.I1)] public static partial bool CheckService();
        /// <summary>Starts the process's session (may wait about six seconds for the companion application); true when it runs.</summary>
        [LibraryImport(Library)] [return: MarshalAs(UnmanagedType.I1)] public static partial bool Start();
        /// <summary>Ends the session; with <paramref name="notifyService"/> the service is told first.</summary>
        [LibraryImport(Library)] public static partial void Stop([MarshalAs(UnmanagedType.I1)] bool notifyService);

        // ---- Events and polling ----

        /// <summary>Sets the one handler (null: no delivery). Never blocks: a call of the old handler that has begun may still be running when this returns. Delegates cannot be source-generated imports, so this one stays a runtime-marshalled import.</summary>
        [DllImport(Library, CallingConvention = Cdecl, ExactSpelling = true)] public static extern void SetEventHandler(LvxEventHandler? handler);
        /// <summary>Switches delivery of one type (or 0xFFFF, all) on.</summary>
        [LibraryImport(Library)] public static partial void EnableEvent(int type);
        /// <summary>Switches delivery of one type (or 0xFFFF, all) off.</summary>
        [LibraryImport(Library)] public static partial void DisableEvent(int type);
        /// <summary>How often the service polls category 1 to 5, in ms. Not gated.</summary>
        [LibraryImport(Library)] public static partial void EnablePolling(int category, uint intervalMs);
        /// <summary>Stops the service's polling of category 1 to 5. Not gated.</summary>
        [LibraryImport(Library)] public static partial void DisablePolling(int category);
        /// <summary>Asks the service to refresh one data type (at most 255). Gated.</summary>
        [LibraryImport(Library)] public static partial void UpdateData(int type);

        // ---- Picture controls: getters 0xFFFFFFFF when not connected, 0 when the request fails ----

        /// <summary>Luminance (VCP 0x10, read only); 0xFFFFFFFF when not connected, 0 on failure.</summary>
        [LibraryImport(Library)] public static partial uint GetBrightness();
        /// <summary>Contrast (0x12); 0xFFFFFFFF when not connected, 0 on failure.</summary>
        [LibraryImport(Library)] public static partial uint GetContrast();
        /// <summary>Sets contrast (0x12); the outcome is not reported.</summary>
        [LibraryImport(Library)] public static partial void SetContrast(uint value);
        /// <summary>Colour preset (0x14); 0xFFFFFFFF when not connected, 0 on failure.</summary>
        [LibraryImport(Library)] public static partial uint GetWhitePoint();
        /// <summary>Sets the colour preset (0x14); the outcome is not reported.</summary>
        [LibraryImport(Library)] public static partial void SetWhitePoint(uint value);
        /// <summary>Red gain (0x16); 0xFFFFFFFF when not connected, 0 on failure.</summary>
        [LibraryImport(Library)] public static partial uint GetRedGain();
        /// <summary>Sets red gain (0x16); the outcome is not reported.</summary>
        [LibraryImport(Library)] public static partial void SetRedGain(uint value);
        /// <summary>Green gain (0x18); 0xFFFFFFFF when not connected, 0 on failure.</summary>
        [LibraryImport(Library)] public static partial uint GetGreenGain();
        /// <summary>Sets green gain (0x18); the outcome is not reported.</summary>
        [LibraryImport(Library)] public static partial void SetGreenGain(uint value);
        /// <summary>Blue gain (0x1A); 0xFFFFFFFF when not connected, 0 on failure.</summary>
        [LibraryImport(Library)] public static partial uint GetBlueGain();
        /// <summary>Sets blue gain (0x1A); the outcome is not reported.</summary>
        [LibraryImport(Library)] public static partial void SetBlueGain(uint value);
        /// <summary>Input source (0x60); 0xFFFFFFFF when not connected, 0 on failure.</summary>
        [LibraryImport(Library)] public static partial uint GetInputSource();
        /// <summary>Sets the input source (0x60); the outcome is not reported.</summary>
        [LibraryImport(Library)] public static partial void SetInputSource(uint value);
        /// <summary>Writes at most <paramref name="capacity"/> accepted colour presets, only when the monitor marks 0x14 supported; returns how many the monitor listed (at most 26, possibly more than written); 0 when not connected or <paramref name="buffer"/> is null.</summary>
        [LibraryImport(Library)] public static partial ulong GetSupportedWhitePoints([In, Out] uint[] buffer, ulong capacity);
        /// <summary>As <see cref="GetSupportedWhitePoints"/>, for the input source (0x60).</summary>
        [LibraryImport(Library)] public static partial ulong GetSupportedInputSources([In, Out] uint[] buffer, ulong capacity);

        // ---- Display modes ----

        /// <summary>Writes the supported display-mode identifiers (at most <paramref name="capacity"/>) and returns how many it wrote; 0 when not connected or none.</summary>
        [LibraryImport(Library)] public static partial ulong GetSupportedDisplayModes([In, Out] int[] buffer, ulong capacity);
        /// <summary>Sets the display mode by identifier. Gated.</summary>
        [LibraryImport(Library)] public static partial void SetDisplayMode(int displayMode);
        /// <summary>The current display mode; -1 when not connected.</summary>
        [LibraryImport(Library)] public static partial int GetCurrentDisplayMode();

        // ---- Platform ----

        /// <summary>Whether this machine is a supported platform, decided locally. Not gated; never talks to the service.</summary>
        [LibraryImport(Library)] [return: MarshalAs(UnmanagedType.I1)] public static partial bool IsPlatformSupported();
        /// <summary>Asks the monitor to restore its factory defaults where this machine allows it. Gated.</summary>
        [LibraryImport(Library)] public static partial void FactoryReset();

        // ---- Automatic colour: names of 100 or more units, paths of 300 or more and nulls are refused ----

        /// <summary>Switches automatic colour on or off. Gated.</summary>
        [LibraryImport(Library)] public static partial void EnableAutoColor([MarshalAs(UnmanagedType.I1)] bool enable);
        /// <summary>False when not connected or when the request fails.</summary>
        [LibraryImport(Library)] [return: MarshalAs(UnmanagedType.I1)] public static partial bool IsAutoColorEnabled();
        /// <summary>Adds an application (name up to 99 units, path up to 299). Gated.</summary>
        [LibraryImport(Library, StringMarshalling = StringMarshalling.Utf16)] public static partial void AddAutoColorApp(string appName, string appPath);
        /// <summary>Deletes an application by name. Gated.</summary>
        [LibraryImport(Library, StringMarshalling = StringMarshalling.Utf16)] public static partial void DeleteAutoColorApp(string appName);
        /// <summary>Sets an application's colour mode by name. Gated.</summary>
        [LibraryImport(Library, StringMarshalling = StringMarshalling.Utf16)] public static partial void SetAutoColorAppMode(string appName, string modeName);
        /// <summary>Writes the count and the first count entries and returns the count; 0 with the table untouched when not connected; 0 with count 0 written when the request fails.</summary>
        [LibraryImport(Library)] public static partial uint GetAutoColorTable(ref AutoColorTable table);
        /// <summary>The colour-mode names the service offers (the first 20); untouched when not connected.</summary>
        [LibraryImport(Library)] public static partial void getSupportedAutoColorMode(ref AutoColorModeList list);

        // ---- Desktop partition ----

        /// <summary>Switches desktop partition on or off. Gated.</summary>
        [LibraryImport(Library)] public static partial void EnableDesktopPartition([MarshalAs(UnmanagedType.I1)] bool enable);
        /// <summary>False when not connected or when the request fails.</summary>
        [LibraryImport(Library)] [return: MarshalAs(UnmanagedType.I1)] public static partial bool IsDesktopPartitionEnabled();
        /// <summary>Writes the count and the first count names and returns the count; 0 with the list untouched when not connected; 0 with count 0 written when the request fails.</summary>
        [LibraryImport(Library)] public static partial uint GetDPSupportedScreens(ref DPScreenList list);
        /// <summary>Sets a screen's layout. Gated.</summary>
        [LibraryImport(Library)] public static partial void SetDesktopPartition(uint screen, uint partition);
        /// <summary>A screen's layout; 0xFFFFFFFF when not connected or when the request fails.</summary>
        [LibraryImport(Library)] public static partial uint GetDesktopPartition(uint screen);
        /// <summary>Asks the service to open the layout customizer. Gated.</summary>
        [LibraryImport(Library)] public static partial void LuanchDesktopPartitionCustomizer();

        // ---- Schedule and power savings ----

        /// <summary>Switches the display-mode schedule on or off. Gated.</summary>
        [LibraryImport(Library)] public static partial void EnableSchedule([MarshalAs(UnmanagedType.I1)] bool enable);
        /// <summary>Whether the schedule is on; false when not connected or when the request fails.</summary>
        [LibraryImport(Library)] [return: MarshalAs(UnmanagedType.I1)] public static partial bool GetSchedule();
        /// <summary>Sets the schedule's four time fields, passed through unchanged. Gated.</summary>
        [LibraryImport(Library)] public static partial void SetScheduleTime(uint time1, uint time2, uint time3, uint time4);
        /// <summary>True when the four values were stored; false, storing nothing, when not connected or when the request fails.</summary>
        [LibraryImport(Library)] [return: MarshalAs(UnmanagedType.I1)] public static partial bool GetScheduleTime(out uint time1, out uint time2, out uint time3, out uint time4);
        /// <summary>Sets the schedule's display mode by identifier. Gated.</summary>
        [LibraryImport(Library)] public static partial void SetShedulerMode(int displayMode);
        /// <summary>The schedule's display mode; -1 when not connected or when the request fails.</summary>
        [LibraryImport(Library)] public static partial int GetShedulerMode();
        /// <summary>Switches power savings on or off. Gated.</summary>
        [LibraryImport(Library)] public static partial void SetPowerSavings([MarshalAs(UnmanagedType.I1)] bool on);
        /// <summary>False when not connected or when the request fails.</summary>
        [LibraryImport(Library)] [return: MarshalAs(UnmanagedType.I1)] public static partial bool GetPowerSavings();

        // ---- HDR status and features ----

        /// <summary>True only in HDR operation; false when not connected or when the request fails.</summary>
        [LibraryImport(Library)] [return: MarshalAs(UnmanagedType.I1)] public static partial bool GetHDRStatus();
        /// <summary>The service's feature word; 0 when no service answers. Not gated.</summary>
        [LibraryImport(Library)] public static partial uint GetFeatures();
    }
}
