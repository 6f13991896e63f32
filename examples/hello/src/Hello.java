/** The demo application: a greeting, the Java it runs on, and its arguments. */
public class Hello {
    public static void main(String[] args) {
        System.out.println("Hello from a qnlaunch bundle!");
        System.out.println("Java version: " + System.getProperty("java.version"));
        System.out.println("Java home: " + System.getProperty("java.home"));
        System.out.println("Arguments: " + args.length);
        for (String arg : args) {
            System.out.println("  " + arg);
        }
    }
}
