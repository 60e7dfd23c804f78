using System;

namespace Lmvx
{
    /// <summary>Values of <see cref="Session.GetStatus"/>.</summary>
    public enum ConnectionState
    {
        /// <summary>A session is starting or has lost the service.</summary>
        Disconnected = 0,
        /// <summary>Gated members work.</summary>
        Connected = 1,
        /// <summary>At load and after the session's end.</summary>
        Stopped = 2,
        /// <summary>The last start found no companion application.</summary>
        StartFailed = 3,
    }

    /// <summary>Event types; a subscriber reads the new value with the matching member.</summary>
    public enum EventType
    {
        /// <summary><see cref="Session.GetBrightness"/> changed.</summary>
        Brightness = 0x10,
        /// <summary><see cref="Session.GetContrast"/> changed.</summary>
        Contrast = 0x12,
        /// <summary><see cref="Session.GetWhitePoint"/> changed.</summary>
        WhitePoint = 0x14,
        /// <summary><see cref="Session.GetRedGain"/> changed.</summary>
        RedGain = 0x16,
        /// <summary><see cref="Session.GetGreenGain"/> changed.</summary>
        GreenGain = 0x18,
        /// <summary><see cref="Session.GetBlueGain"/> changed.</summary>
        BlueGain = 0x1A,
        /// <summary><see cref="Session.GetInputSource"/> changed.</summary>
        InputSource = 0x60,
        /// <summary><see cref="Session.GetDisplayMode"/> changed.</summary>
        DisplayMode = 0xDC,
        /// <summary>Service notification 0x100.</summary>
        Service100 = 0x100,
        /// <summary>Service notification 0x101.</summary>
        Service101 = 0x101,
        /// <summary>The state has been refreshed: see <see cref="Session.GetStatus"/>.</summary>
        ServiceStatusChanged = 0x102,
        /// <summary>Service notification 0x103.</summary>
        Service103 = 0x103,
        /// <summary>Service notification 0x104.</summary>
        Service104 = 0x104,
        /// <summary>Off until <see cref="Session.EnableEvent"/>(Service105).</summary>
        Service105 = 0x105,
        /// <summary>Every type: argument of EnableEvent/DisableEvent only.</summary>
        All = 0xFFFF,
    }

    /// <summary>The service's feature word, as the service reports it; the service assigns the bits.</summary>
    [Flags]
    public enum ServiceFeatures : uint
    {
        /// <summary>No bit set, also what no answer gives.</summary>
        None = 0,
        /// <summary>Bit 0.</summary>
        Bit0 = 1u << 0,
        /// <summary>Bit 1.</summary>
        Bit1 = 1u << 1,
        /// <summary>Bit 2.</summary>
        Bit2 = 1u << 2,
        /// <summary>Bit 3.</summary>
        Bit3 = 1u << 3,
        /// <summary>Bit 4.</summary>
        Bit4 = 1u << 4,
        /// <summary>Bit 5.</summary>
        Bit5 = 1u << 5,
        /// <summary>Bit 6.</summary>
        Bit6 = 1u << 6,
        /// <summary>Bit 7.</summary>
        Bit7 = 1u << 7,
        /// <summary>Bit 8.</summary>
        Bit8 = 1u << 8,
        /// <summary>Bit 9.</summary>
        Bit9 = 1u << 9,
        /// <summary>Bit 10.</summary>
        Bit10 = 1u << 10,
        /// <summary>Bit 11.</summary>
        Bit11 = 1u << 11,
        /// <summary>Bit 12.</summary>
        Bit12 = 1u << 12,
        /// <summary>Bit 13.</summary>
        Bit13 = 1u << 13,
        /// <summary>Bit 14.</summary>
        Bit14 = 1u << 14,
        /// <summary>Bit 15.</summary>
        Bit15 = 1u << 15,
        /// <summary>Bit 16.</summary>
        Bit16 = 1u << 16,
        /// <summary>Bit 17.</summary>
        Bit17 = 1u << 17,
        /// <summary>Bit 18.</summary>
        Bit18 = 1u << 18,
        /// <summary>Bit 19.</summary>
        Bit19 = 1u << 19,
        /// <summary>Bit 20.</summary>
        Bit20 = 1u << 20,
        /// <summary>Bit 21.</summary>
        Bit21 = 1u << 21,
        /// <summary>Bit 22.</summary>
        Bit22 = 1u << 22,
        /// <summary>Bit 23.</summary>
        Bit23 = 1u << 23,
        /// <summary>Bit 24.</summary>
        Bit24 = 1u << 24,
        /// <summary>Bit 25.</summary>
        Bit25 = 1u << 25,
        /// <summary>Bit 26.</summary>
        Bit26 = 1u << 26,
        /// <summary>Bit 27.</summary>
        Bit27 = 1u << 27,
        /// <summary>Bit 28.</summary>
        Bit28 = 1u << 28,
        /// <summary>Bit 29.</summary>
        Bit29 = 1u << 29,
        /// <summary>Bit 30.</summary>
        Bit30 = 1u << 30,
        /// <summary>Bit 31.</summary>
        Bit31 = 1u << 31,
    }

    /// <summary>The event of <see cref="Session.Changed"/>.</summary>
    public sealed class SessionEventArgs : EventArgs
    {
        /// <summary>Creates the arguments of one event.</summary>
        public SessionEventArgs(EventType type) { Type = type; }
        /// <summary>What changed.</summary>
        public EventType Type { get; }
    }

    /// <summary>A handler of <see cref="Session.Changed"/> that threw, or a delivery that could not be posted.</summary>
    public sealed class SessionErrorEventArgs : EventArgs
    {
        /// <summary>Creates the arguments of one failure.</summary>
        public SessionErrorEventArgs(EventType type, Exception exception) { Type = type; Exception = exception; }
        /// <summary>The event being delivered.</summary>
        public EventType Type { get; }
        /// <summary>What the handler, or the context's Post, threw.</summary>
        public Exception Exception { get; }
    }
}
